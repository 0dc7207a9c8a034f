#ifndef CSIGNALCATALOG_H
#define CSIGNALCATALOG_H

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Names and types of the arguments of every bus signal, read from the
// interface descriptions built into the program, so that a watched signal
// can show "iProcess=1234" instead of a bare number.
class CSignalCatalog
{
public:
    struct Arg {
        QString name;
        QString type; // D-Bus signature of the argument, e.g. "i", "ay"
    };

    // Reads every description; false with *error if one is unreadable.
    bool load(const QStringList &xmlFiles, QString *error);

    // Arguments of interface.member; empty when unknown.
    QList<Arg> args(const QString &interface, const QString &member) const;
    bool knows(const QString &interface, const QString &member) const;
    QStringList interfaces() const { return m_interfaces; }

    // The descriptions built into vorlanctl.
    static QStringList builtInFiles();

private:
    QHash<QString, QList<Arg>> m_signals; // "interface.member"
    QStringList m_interfaces;
};

#endif // CSIGNALCATALOG_H
