#ifndef CLOGBOOKTEXT_H
#define CLOGBOOKTEXT_H

#include "logbook/CLogDisplayRecord.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

class CLogbookLine;

// The logbook as the operator's screen shows it: each entry rendered by the
// entry model with one language's translation table (English where the table
// has no text), one line per entry.
class CLogbookText
{
public:
    explicit CLogbookText(const QVariantMap &translationMap) : m_map(translationMap) {}

    // "2026-03-02 06:14:03  GPS data  GPS time 2026-03-02 06:14:03  lat 48.123456  lon 11.512345"
    QString line(const CLogbookLine &entry) const;
    // The listing's fields plus the rendered "time", "name", "level",
    // "values" (translated) and "valueKeys" (as the entry model gave them).
    QJsonObject json(const CLogbookLine &entry) const;

    // One display value as text: "i18n_<key>_<argument>" becomes the key's
    // translation with the argument in place of %1; other values as they are.
    static QString valueText(const QVariant &value, const CLogDisplayRecord &record);

    // The board's web root when it holds an English table, else the tree
    // installed beside vorlanctl, else the project's own sample tree.
    static QString defaultWebRoot();
    static bool hasTranslation(const QString &webRoot, const QString &language);
    // The locale's language when the web root has a table for it, else English.
    static QString defaultLanguage(const QString &webRoot);

private:
    struct Rendered {
        CLogDisplayRecord record;
        QString time;
        QStringList values;
    };
    Rendered render(const CLogbookLine &entry) const;

    QVariantMap m_map;
};

#endif // CLOGBOOKTEXT_H
