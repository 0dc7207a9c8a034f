#ifndef CSIGNALPRINTER_H
#define CSIGNALPRINTER_H

#include <QDBusMessage>
#include <QString>

class CSignalCatalog;

// Turns a received bus signal into one line of text or one JSON object,
// with argument names from the catalog and the byte-array payloads that
// are known decoded (GPS point, sync time, process name).
class CSignalPrinter
{
public:
    explicit CSignalPrinter(const CSignalCatalog &catalog) : m_catalog(catalog) {}

    QString text(const QDBusMessage &message) const;
    // Compact JSON, one line.
    QString json(const QDBusMessage &message) const;

private:
    const CSignalCatalog &m_catalog;
};

#endif // CSIGNALPRINTER_H
