#include "CSignalPrinter.h"

#include "CPayloadText.h"
#include "CSignalCatalog.h"
#include "records/CDateTime.h"
#include "records/CGpsPoint.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{
const QString kGpsMember = QStringLiteral("sigActualGpsData");
const QString kSyncMember = QStringLiteral("sigSyncTime");
const QString kNameMember = QStringLiteral("sigSendName");

QString now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString argName(const QList<CSignalCatalog::Arg> &args, int index)
{
    return index < args.size() ? args.at(index).name : QStringLiteral("arg%1").arg(index);
}

// The decoded form of a byte-array argument, or an empty text.
QString decodedText(const QString &member, const QByteArray &bytes)
{
    if (member == kGpsMember) {
        CGpsPoint point;
        return CPayloadText::decodeGpsPoint(bytes, &point) ? CPayloadText::gpsPoint(point)
                                                           : QStringLiteral("(not a GPS point)");
    }
    if (member == kSyncMember) {
        CDateTime value;
        return CPayloadText::decodeDateTime(bytes, &value)
                   ? QStringLiteral("time=%1").arg(CPayloadText::dateTime(value))
                   : QStringLiteral("(not a date-time)");
    }
    return QString();
}
} // namespace

QString CSignalPrinter::text(const QDBusMessage &message) const
{
    const QList<CSignalCatalog::Arg> names = m_catalog.args(message.interface(), message.member());
    QStringList parts{now(), message.member()};
    const QVariantList args = message.arguments();
    for (int i = 0; i < args.size(); ++i) {
        const QVariant &value = args.at(i);
        if (value.userType() == QMetaType::QByteArray) {
            const QByteArray bytes = value.toByteArray();
            const QString decoded = decodedText(message.member(), bytes);
            if (!decoded.isEmpty())
                parts << decoded;
            else if (message.member() == kNameMember && CPayloadText::isPrintable(bytes))
                parts << QStringLiteral("%1=\"%2\"").arg(argName(names, i), QString::fromLatin1(bytes));
            else
                parts << QStringLiteral("%1=%2").arg(argName(names, i), QString::fromLatin1(bytes.toHex()));
        } else {
            parts << QStringLiteral("%1=%2").arg(argName(names, i), value.toString());
        }
    }
    return parts.join(QLatin1Char(' '));
}

QString CSignalPrinter::json(const QDBusMessage &message) const
{
    const QList<CSignalCatalog::Arg> names = m_catalog.args(message.interface(), message.member());
    QJsonObject object{{QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODateWithMs)},
                       {QStringLiteral("interface"), message.interface()},
                       {QStringLiteral("member"), message.member()},
                       {QStringLiteral("path"), message.path()},
                       {QStringLiteral("sender"), message.service()}};
    QJsonObject args;
    const QVariantList values = message.arguments();
    for (int i = 0; i < values.size(); ++i) {
        const QVariant &value = values.at(i);
        const QString name = argName(names, i);
        if (value.userType() == QMetaType::QByteArray) {
            const QByteArray bytes = value.toByteArray();
            args.insert(name, QString::fromLatin1(bytes.toHex()));
            CGpsPoint point;
            CDateTime time;
            if (message.member() == kGpsMember && CPayloadText::decodeGpsPoint(bytes, &point))
                object.insert(QStringLiteral("gps"), CPayloadText::gpsPointJson(point));
            else if (message.member() == kSyncMember && CPayloadText::decodeDateTime(bytes, &time))
                object.insert(QStringLiteral("syncTime"), CPayloadText::dateTime(time));
            else if (message.member() == kNameMember && CPayloadText::isPrintable(bytes))
                object.insert(QStringLiteral("name"), QString::fromLatin1(bytes));
        } else {
            args.insert(name, QJsonValue::fromVariant(value));
        }
    }
    object.insert(QStringLiteral("args"), args);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}
