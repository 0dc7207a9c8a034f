#ifndef CDRIVEOPTIONS_H
#define CDRIVEOPTIONS_H

#include <QString>
#include <QVector>
#include <QtGlobal>

class QCommandLineParser;

// The generator's command line, checked: every value the drive depends on,
// with times in milliseconds.
class CDriveOptions
{
public:
    // Part of the round, in ms after its start, [startMs, startMs + lengthMs).
    struct Window {
        qint64 startMs = 0;
        qint64 lengthMs = 0;
        bool contains(qint64 timeMs) const { return timeMs >= startMs && timeMs - startMs < lengthMs; }
    };

    static const char DefaultStart[];

    int rateHz = 1;
    qint64 startUtcMs = 0;
    qint64 clockOffsetMs = 0; // added to the receiver's time
    QVector<Window> noFix;
    QVector<Window> silence;
    qint64 durationMs = -1; // < 0: the whole round
    qint64 skipMs = 0;      // output begins this far into the round
    QString route;
    quint64 seed = 1;
    QString profile;    // CReceiverProfile name
    int sentences = 0;  // CNmeaWriter flags; the profile's unless given
    QString outputPath; // empty: standard output
    QString truthPath;  // empty: none
    QString gpxPath;    // a recorded track instead of the round; empty: none
    bool startGiven = false; // --start set: else a recorded track keeps its own times

    CDriveOptions();

    static void setUp(QCommandLineParser *parser);
    // Takes the values of a parser that has parsed a command line; false
    // with a message for the user on the first value that does not fit.
    bool readFrom(const QCommandLineParser &parser, QString *error);
    // Parses a command line (the first element is the program name).
    bool parse(const QStringList &arguments, QString *error);

    bool inNoFix(qint64 timeMs) const;
    bool inSilence(qint64 timeMs) const;
    // The options that shape the drive, as a command line; goes into the
    // file headers so that a drive can be made again.
    QString commandLine() const;

    // "12", "-3.5", "0.25": seconds with at most three decimals, exact.
    static bool parseSeconds(const QString &text, bool allowNegative, qint64 *ms);
    static QString secondsText(qint64 ms);
};

#endif // CDRIVEOPTIONS_H
