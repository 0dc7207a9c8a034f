#include "CDriveOptions.h"

#include "CDriveRoute.h"
#include "CNmeaWriter.h"
#include "CReceiverProfile.h"
#include "CUtcTime.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace
{
// NMEA times carry hundredths of a second.
const qint64 TimeResolutionMs = 10;
// RMC carries a two-digit year; readers place it in 1980..2079.
const int FirstYear = 1980;
const int LastYear = 2079;

const char OptRate[] = "rate";
const char OptStart[] = "start";
const char OptClockOffset[] = "clock-offset";
const char OptNoFix[] = "nofix";
const char OptSilence[] = "silence";
const char OptDuration[] = "duration";
const char OptSkip[] = "skip";
const char OptRoute[] = "route";
const char OptSeed[] = "seed";
const char OptProfile[] = "profile";
const char OptSentences[] = "sentences";
const char OptOutput[] = "o";
const char OptTruth[] = "truth";
const char OptFromGpx[] = "from-gpx";

bool parseWindow(const QString &text, CDriveOptions::Window *window)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    return parts.size() == 2 && CDriveOptions::parseSeconds(parts[0], false, &window->startMs) &&
           CDriveOptions::parseSeconds(parts[1], false, &window->lengthMs) && window->lengthMs > 0;
}
} // namespace

const char CDriveOptions::DefaultStart[] = "2026-03-02T06:00:00Z";

CDriveOptions::CDriveOptions()
    : route(CDriveRoute::defaultName()), profile(QLatin1String(CReceiverProfile::standard().name)),
      sentences(CReceiverProfile::standard().sentences)
{
    CUtcTime::parseIso(QLatin1String(DefaultStart), &startUtcMs);
}

void CDriveOptions::setUp(QCommandLineParser *parser)
{
    parser->addOptions({
        {QLatin1String(OptRate), QStringLiteral("Epochs per second: 1, 5 or 10 (default 1)."),
         QStringLiteral("hz")},
        {QLatin1String(OptStart),
         QStringLiteral("UTC date-time of the first epoch (default %1).").arg(QLatin1String(DefaultStart)),
         QStringLiteral("iso")},
        {QLatin1String(OptClockOffset),
         QStringLiteral("Shift the receiver's time against the round by this many seconds (resolution "
                        "0.01 s; may be negative), to make the receiver's clock disagree with the system's."),
         QStringLiteral("seconds")},
        {QLatin1String(OptNoFix),
         QStringLiteral("No fix from START for DURATION seconds after the start of the round: GGA quality 0, "
                        "RMC status V, GSA mode 1, no satellites. Repeatable."),
         QStringLiteral("start:duration")},
        {QLatin1String(OptSilence),
         QStringLiteral("The receiver sends nothing from START for DURATION seconds. Repeatable."),
         QStringLiteral("start:duration")},
        {QLatin1String(OptDuration),
         QStringLiteral("Cut the round after this many seconds (default: whole round)."),
         QStringLiteral("seconds")},
        {QLatin1String(OptSkip),
         QStringLiteral(
             "Begin the output this many seconds into the round; --start is the time of the first "
             "epoch written, while --duration, --nofix and --silence still count from the start of "
             "the round."),
         QStringLiteral("seconds")},
        {QLatin1String(OptRoute),
         QStringLiteral("Round to drive: %1 (default %2).")
             .arg(CDriveRoute::names().join(QStringLiteral(", ")), CDriveRoute::defaultName()),
         QStringLiteral("name")},
        {QLatin1String(OptSeed),
         QStringLiteral("Seed of lights, standing times, driving and sky (default 1)."), QStringLiteral("n")},
        {QLatin1String(OptProfile),
         QStringLiteral(
             "Receiver: gps (GPS only, talker GP: RMC, VTG, GGA, GSA, GSV), multi (dual-band GPS, "
             "GLONASS, Galileo and BeiDou, talker GN: RMC, VTG, GGA, a GSA per system, GSV per "
             "system and band, GLL, GST, GBS, ZDA) or minimal (GPS: RMC and GGA only). Default gps."),
         QStringLiteral("name")},
        {QLatin1String(OptSentences),
         QStringLiteral("Comma-separated sentences to write instead of the profile's (known: %1).")
             .arg(CNmeaWriter::sentenceNames().join(QLatin1Char(','))),
         QStringLiteral("list")},
        {QLatin1String(OptOutput), QStringLiteral("Write the NMEA here instead of to standard output."),
         QStringLiteral("file")},
        {QLatin1String(OptTruth),
         QStringLiteral("Write the ground truth, one tab-separated line per epoch, here."),
         QStringLiteral("file")},
        {QLatin1String(OptFromGpx),
         QStringLiteral("Drive the track points of this GPX file (they need times) instead of a round, "
                        "at the track's own times unless --start is given."),
         QStringLiteral("file")},
    });
}

bool CDriveOptions::readFrom(const QCommandLineParser &parser, QString *error)
{
    auto fail = [error](const QString &message) {
        *error = message;
        return false;
    };
    const QString rate = parser.value(QLatin1String(OptRate));
    if (parser.isSet(QLatin1String(OptRate))) {
        if (rate != QLatin1String("1") && rate != QLatin1String("5") && rate != QLatin1String("10"))
            return fail(QStringLiteral("--rate must be 1, 5 or 10, not \"%1\"").arg(rate));
        rateHz = rate.toInt();
    }
    startGiven = parser.isSet(QLatin1String(OptStart));
    if (startGiven) {
        const QString start = parser.value(QLatin1String(OptStart));
        if (!CUtcTime::parseIso(start, &startUtcMs))
            return fail(QStringLiteral("--start \"%1\" is not a UTC date-time like %2")
                            .arg(start, QLatin1String(DefaultStart)));
    }
    if (parser.isSet(QLatin1String(OptClockOffset))) {
        const QString offset = parser.value(QLatin1String(OptClockOffset));
        if (!parseSeconds(offset, true, &clockOffsetMs))
            return fail(QStringLiteral("--clock-offset \"%1\" is not a number of seconds").arg(offset));
    }
    if (startUtcMs % TimeResolutionMs != 0 || clockOffsetMs % TimeResolutionMs != 0)
        return fail(QStringLiteral("--start and --clock-offset must be whole hundredths of a second"));
    const int year = CUtcTime::fields(startUtcMs + clockOffsetMs).year;
    if (year < FirstYear || year >= LastYear)
        return fail(
            QStringLiteral("the receiver's time must lie in %1..%2").arg(FirstYear).arg(LastYear - 1));

    const QString names[] = {QLatin1String(OptNoFix), QLatin1String(OptSilence)};
    QVector<Window> *lists[] = {&noFix, &silence};
    for (int i = 0; i < 2; ++i) {
        lists[i]->clear();
        for (const QString &text : parser.values(names[i])) {
            Window window;
            if (!parseWindow(text, &window))
                return fail(QStringLiteral("--%1 \"%2\" is not START:DURATION in seconds (DURATION > 0)")
                                .arg(names[i], text));
            lists[i]->append(window);
        }
    }
    if (parser.isSet(QLatin1String(OptDuration))) {
        const QString duration = parser.value(QLatin1String(OptDuration));
        if (!parseSeconds(duration, false, &durationMs) || durationMs <= 0)
            return fail(
                QStringLiteral("--duration \"%1\" is not a positive number of seconds").arg(duration));
    }
    if (parser.isSet(QLatin1String(OptSkip))) {
        const QString skip = parser.value(QLatin1String(OptSkip));
        if (!parseSeconds(skip, false, &skipMs) || skipMs < 0)
            return fail(QStringLiteral("--skip \"%1\" is not a number of seconds").arg(skip));
    }
    if (parser.isSet(QLatin1String(OptRoute))) {
        route = parser.value(QLatin1String(OptRoute));
        if (!CDriveRoute::names().contains(route))
            return fail(QStringLiteral("unknown --route \"%1\"; known: %2")
                            .arg(route, CDriveRoute::names().join(QStringLiteral(", "))));
    }
    if (parser.isSet(QLatin1String(OptSeed))) {
        bool ok = false;
        seed = parser.value(QLatin1String(OptSeed)).toULongLong(&ok);
        if (!ok)
            return fail(QStringLiteral("--seed must be a whole number"));
    }
    if (parser.isSet(QLatin1String(OptProfile))) {
        profile = parser.value(QLatin1String(OptProfile));
        if (!CReceiverProfile::find(profile))
            return fail(QStringLiteral("unknown --profile \"%1\"; known: %2")
                            .arg(profile, CReceiverProfile::names().join(QStringLiteral(", "))));
    }
    sentences = CReceiverProfile::find(profile)->sentences;
    if (parser.isSet(QLatin1String(OptSentences))) {
        sentences = 0;
        for (const QString &name : parser.value(QLatin1String(OptSentences)).split(QLatin1Char(','))) {
            const int flag = CNmeaWriter::sentenceFlag(name);
            if (flag == 0)
                return fail(QStringLiteral("unknown sentence \"%1\" in --sentences; known: %2")
                                .arg(name, CNmeaWriter::sentenceNames().join(QLatin1Char(','))));
            sentences |= flag;
        }
    }
    outputPath = parser.value(QLatin1String(OptOutput));
    truthPath = parser.value(QLatin1String(OptTruth));
    gpxPath = parser.value(QLatin1String(OptFromGpx));
    return true;
}

bool CDriveOptions::parse(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    setUp(&parser);
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return false;
    }
    return readFrom(parser, error);
}

bool CDriveOptions::inNoFix(qint64 timeMs) const
{
    for (const Window &window : noFix)
        if (window.contains(timeMs))
            return true;
    return false;
}

bool CDriveOptions::inSilence(qint64 timeMs) const
{
    for (const Window &window : silence)
        if (window.contains(timeMs))
            return true;
    return false;
}

QString CDriveOptions::commandLine() const
{
    QStringList words;
    words << QStringLiteral("--route") << route << QStringLiteral("--seed") << QString::number(seed)
          << QStringLiteral("--rate") << QString::number(rateHz) << QStringLiteral("--start")
          << QString::fromLatin1(CUtcTime::isoText(startUtcMs)) << QStringLiteral("--clock-offset")
          << secondsText(clockOffsetMs);
    for (const Window &window : noFix)
        words << QStringLiteral("--nofix")
              << secondsText(window.startMs) + QLatin1Char(':') + secondsText(window.lengthMs);
    for (const Window &window : silence)
        words << QStringLiteral("--silence")
              << secondsText(window.startMs) + QLatin1Char(':') + secondsText(window.lengthMs);
    if (!gpxPath.isEmpty())
        words << QStringLiteral("--from-gpx") << gpxPath;
    if (durationMs >= 0)
        words << QStringLiteral("--duration") << secondsText(durationMs);
    if (skipMs > 0)
        words << QStringLiteral("--skip") << secondsText(skipMs);
    const CReceiverProfile *receiver = CReceiverProfile::find(profile);
    if (receiver != &CReceiverProfile::standard())
        words << QStringLiteral("--profile") << profile;
    if (!receiver || sentences != receiver->sentences) {
        QStringList names;
        for (const QString &name : CNmeaWriter::sentenceNames())
            if (sentences & CNmeaWriter::sentenceFlag(name))
                names << name;
        words << QStringLiteral("--sentences") << names.join(QLatin1Char(','));
    }
    return words.join(QLatin1Char(' '));
}

bool CDriveOptions::parseSeconds(const QString &text, bool allowNegative, qint64 *ms)
{
    // Ten digits of seconds keep every sum of times far inside 64 bits.
    static const QRegularExpression pattern(QStringLiteral("^([+-]?)(\\d{1,10})(?:\\.(\\d{1,3}))?$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return false;
    const bool negative = match.captured(1) == QLatin1String("-");
    if (negative && !allowNegative)
        return false;
    const qint64 whole = match.captured(2).toLongLong();
    const qint64 fraction = (match.captured(3) + QStringLiteral("00")).left(3).toLongLong();
    *ms = (negative ? -1 : 1) * (whole * 1000 + fraction);
    return true;
}

QString CDriveOptions::secondsText(qint64 ms)
{
    const qint64 magnitude = ms < 0 ? -ms : ms;
    QString text = (ms < 0 ? QStringLiteral("-") : QString()) + QString::number(magnitude / 1000);
    if (magnitude % 1000 != 0) {
        QString fraction = QString::number(magnitude % 1000).rightJustified(3, QLatin1Char('0'));
        while (fraction.endsWith(QLatin1Char('0')))
            fraction.chop(1);
        text += QLatin1Char('.') + fraction;
    }
    return text;
}
