#include "CSignalCatalog.h"

#include <QFile>
#include <QXmlStreamReader>

bool CSignalCatalog::load(const QStringList &xmlFiles, QString *error)
{
    for (const QString &path : xmlFiles) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1").arg(path);
            return false;
        }
        QXmlStreamReader xml(&file);
        QString interface;
        QString key;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                const auto name = xml.name();
                const auto attributes = xml.attributes();
                if (name == QLatin1String("interface")) {
                    interface = attributes.value(QLatin1String("name")).toString();
                    if (!m_interfaces.contains(interface))
                        m_interfaces << interface;
                } else if (name == QLatin1String("signal")) {
                    key = interface + QLatin1Char('.') + attributes.value(QLatin1String("name")).toString();
                    m_signals.insert(key, {});
                } else if (name == QLatin1String("method")) {
                    key.clear();
                } else if (name == QLatin1String("arg") && !key.isEmpty()) {
                    m_signals[key].append({attributes.value(QLatin1String("name")).toString(),
                                           attributes.value(QLatin1String("type")).toString()});
                }
            } else if (xml.isEndElement() && xml.name() == QLatin1String("signal")) {
                key.clear();
            }
        }
        if (xml.hasError()) {
            *error = QStringLiteral("%1: %2").arg(path, xml.errorString());
            return false;
        }
    }
    return true;
}

QList<CSignalCatalog::Arg> CSignalCatalog::args(const QString &interface, const QString &member) const
{
    return m_signals.value(interface + QLatin1Char('.') + member);
}

bool CSignalCatalog::knows(const QString &interface, const QString &member) const
{
    return m_signals.contains(interface + QLatin1Char('.') + member);
}

QStringList CSignalCatalog::builtInFiles()
{
    return {QStringLiteral(":/interfaces/com.Brask.Vorlan.Signals.xml"),
            QStringLiteral(":/interfaces/com.Brask.Vorlan.Setup.xml"),
            QStringLiteral(":/interfaces/com.Brask.Vorlan.Runtime.xml"),
            QStringLiteral(":/interfaces/com.Brask.Vorlan.Logbook.xml")};
}
