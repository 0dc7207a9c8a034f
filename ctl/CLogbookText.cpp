#include "CLogbookText.h"

#include "CLogbookLine.h"
#include "CPayloadText.h"
#include "logbook/CLogBase.h"
#include "logbook/CLogGps.h"
#include "logbook/CTranslationHandler.h"
#include "logbook/ELogSubType.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QLocale>

namespace
{
const QString kI18nPrefix = QStringLiteral("i18n_");
const QString kDateTimeKey = QStringLiteral("datetime");
const QString kEntryDateTimeFormat = QStringLiteral("yyyy/MM/dd HH:mm:ss");
// Used when no table at all names the formats.
const QString kPlainDateFormat = QStringLiteral("yyyy-MM-dd");
const QString kPlainTimeFormat = QStringLiteral("HH:mm:ss");
const QString kSeparator = QStringLiteral("  ");
constexpr int kSpeedDecimals = 1;
constexpr int kLanguageLetters = 2;

// The entry model resolves a missing format to its own key.
QString usableFormat(const QString &format, const char *key, const QString &plain)
{
    return format.isEmpty() || format == QLatin1String(key) ? plain : format;
}

QString dateTimeFormat(const CLogDisplayRecord &record)
{
    return usableFormat(record.dateFormat, "dateformat", kPlainDateFormat) + QLatin1Char(' ') +
           usableFormat(record.timeFormat, "timeformat", kPlainTimeFormat);
}

QString speedValue(double speedKmh)
{
    return QStringLiteral("i18n_gps_speed_logbook_") + QString::number(speedKmh, 'f', kSpeedDecimals);
}
} // namespace

CLogbookText::Rendered CLogbookText::render(const CLogbookLine &entry) const
{
    Rendered rendered;
    rendered.record = entry.entry()->render(m_map);
    CLogDisplayRecord &record = rendered.record;
    // The entry model shows a track point by its name only; a person reading
    // the track wants to see where and how fast, in the same value form.
    if (entry.decoded && entry.isTracking()) {
        record.values << CLogGps::dateTimeValue(entry.point.dateTime)
                      << CLogGps::latitudeValue(entry.point.latitude)
                      << CLogGps::longitudeValue(entry.point.longitude) << speedValue(entry.point.speed);
    }
    // The daemon leaves the entry's own time stamp at 0001-01-01; then the
    // time the data service stored the entry is the one that means something.
    const QString format = dateTimeFormat(record);
    if (record.dtTimeStamp.isValid() && record.dtTimeStamp.date().year() > 1)
        rendered.time = record.dtTimeStamp.toString(format);
    else if (entry.storedTime.isValid())
        rendered.time = entry.storedTime.toLocalTime().toString(format);
    else
        rendered.time = entry.stored;
    for (const QVariant &value : qAsConst(record.values))
        rendered.values << valueText(value, record);
    return rendered;
}

QString CLogbookText::line(const CLogbookLine &entry) const
{
    const Rendered rendered = render(entry);
    QString text = rendered.time + kSeparator + rendered.record.name;
    if (!rendered.values.isEmpty())
        text += kSeparator + rendered.values.join(kSeparator);
    if (!entry.decoded)
        text += kSeparator + QStringLiteral("(entry does not decode)");
    return text;
}

QJsonObject CLogbookText::json(const CLogbookLine &entry) const
{
    const Rendered rendered = render(entry);
    QJsonArray valueKeys;
    for (const QVariant &value : rendered.record.values)
        valueKeys.append(value.toString());
    QJsonObject object{{QStringLiteral("table"), entry.table},
                       {QStringLiteral("row"), static_cast<qint64>(entry.row)},
                       {QStringLiteral("stored"), entry.stored},
                       {QStringLiteral("process"), entry.process},
                       {QStringLiteral("type"), entry.type},
                       {QStringLiteral("typeName"), CLogBase::typeName(entry.type)},
                       {QStringLiteral("subtype"), entry.subtype},
                       {QStringLiteral("subtypeName"), logSubTypeName(entry.subtype)},
                       {QStringLiteral("bytes"), QString::fromLatin1(entry.data.toHex())},
                       {QStringLiteral("time"), rendered.time},
                       {QStringLiteral("name"), rendered.record.name},
                       {QStringLiteral("level"), rendered.record.level},
                       {QStringLiteral("values"), QJsonArray::fromStringList(rendered.values)},
                       {QStringLiteral("valueKeys"), valueKeys}};
    if (entry.decoded)
        object.insert(QStringLiteral("point"), CPayloadText::gpsPointJson(entry.point));
    return object;
}

QString CLogbookText::valueText(const QVariant &value, const CLogDisplayRecord &record)
{
    const QString text = value.toString();
    if (!text.startsWith(kI18nPrefix))
        return text;
    const QString rest = text.mid(kI18nPrefix.size());
    const QString whole = CTranslationHandler::translate(record.translationMap, rest);
    if (!whole.isEmpty())
        return whole;
    const int cut = rest.lastIndexOf(QLatin1Char('_'));
    if (cut <= 0)
        return rest;
    const QString key = rest.left(cut);
    QString argument = rest.mid(cut + 1);
    if (key == kDateTimeKey) {
        const QDateTime when = QDateTime::fromString(argument, kEntryDateTimeFormat);
        if (when.isValid())
            argument = when.toString(dateTimeFormat(record));
    }
    const QString pattern = CTranslationHandler::translate(record.translationMap, key);
    if (pattern.isEmpty())
        return key + QLatin1Char(' ') + argument;
    if (pattern.contains(QLatin1String("%1")))
        return QString(pattern).replace(QLatin1String("%1"), argument);
    return pattern + QLatin1Char(' ') + argument;
}

bool CLogbookText::hasTranslation(const QString &webRoot, const QString &language)
{
    return QFileInfo(QStringLiteral("%1/locales/%2/translation.json").arg(webRoot, language)).isFile();
}

QString CLogbookText::defaultWebRoot()
{
    const QString board = QString::fromLatin1(CTranslationHandler::kDefaultWebRoot);
    const QStringList candidates{
        board,
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/vorlan-gps/translations"),
        QStringLiteral(VORLAN_SOURCE_DIR "/data/translations"),
    };
    for (const QString &root : candidates) {
        if (hasTranslation(root, QString::fromLatin1(CTranslationHandler::kFallbackLanguage)))
            return QDir::cleanPath(root);
    }
    return board;
}

QString CLogbookText::defaultLanguage(const QString &webRoot)
{
    const QString language = QLocale::system().name().left(kLanguageLetters).toLower();
    if (language.size() == kLanguageLetters && hasTranslation(webRoot, language))
        return language;
    return QString::fromLatin1(CTranslationHandler::kFallbackLanguage);
}
