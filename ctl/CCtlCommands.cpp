#include "CCtlCommands.h"

#include "CCtlBus.h"
#include "CFidelitySvg.h"
#include "CGpxWriter.h"
#include "CLogbookLine.h"
#include "CLogbookText.h"
#include "CPayloadText.h"
#include "CSignalCatalog.h"
#include "CSignalPrinter.h"
#include "CSvgWriter.h"
#include "CTrack.h"
#include "CTrackFidelity.h"
#include "CTrackingReplay.h"
#include "CTruthTrack.h"
#include "logbook/CLogBase.h"
#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "logbook/CTranslationHandler.h"
#include "logbook/ELogSubType.h"
#include "records/CReplyCode.h"
#include "records/CSetupGps.h"
#include "records/CSetupGpsTracking.h"
#include "setup_interface.h"
#include "storecontrol_interface.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusReply>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{
constexpr int kDefaultSpeedIntervalS = 10;
constexpr int kMsPerSecond = 1000;
constexpr int kTrackingOff = 0;
// The true route is measured a position this far apart: fine against the
// stored points' spacing, and standing still does not count.
constexpr double kRouteStepM = 5.0;

struct CommandHelp {
    const char *name;
    const char *syntax;
    const char *description;
};

const CommandHelp kCommands[] = {
    {"status", "status", "Show whether the GPS daemon is alive (heartbeat), its name and the GPS setup."},
    {"start", "start [--pid PID]", "Send sigProcessStart to the GPS daemon."},
    {"watch", "watch [--json] [--count N] [--seconds S]", "Print every signal of the system, decoded."},
    {"gps", "gps on|off", "Switch GPS acquisition in the GPS setup record."},
    {"timesync", "timesync on|off", "Switch the GPS time check in the GPS setup record."},
    {"tracking", "tracking off|time SECONDS|distance METRES|speed KMH [--interval SECONDS]",
     "Set the tracking mode in the tracking setup record."},
    {"logbook", "logbook [--lang LANG] [--web-root DIR] [--json] [--last N]",
     "List the GPS logbook and the tracking points of the data service as the operator's screen shows "
     "them."},
    {"export", "export [--gpx FILE] [--svg FILE [--truth TRUTH]]",
     "Write the stored track as GPX 1.1 and/or as an SVG picture (FILE - for standard output); --truth "
     "draws a drive's true route (vorlan-nmea-drive --truth) beneath it."},
    {"fidelity", "fidelity TRUTH [--setup SETUP]... [--svg FILE] [--points FILE]",
     "Run the daemon's tracking decision offline over a drive's ground truth (vorlan-nmea-drive --truth) "
     "and show, per tracking setup, the points stored and how far the true route strays from them. "
     "Needs no bus."},
};

const CommandHelp *findCommand(const QString &name)
{
    for (const CommandHelp &command : kCommands) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

bool parseSwitch(const QString &text, bool *on)
{
    if (text == QLatin1String("on") || text == QLatin1String("off")) {
        *on = text == QLatin1String("on");
        return true;
    }
    return false;
}

bool parsePositive(const QString &text, int *value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value > 0;
}

QString replyText(int code)
{
    return QStringLiteral("%1 (%2)").arg(CReplyCode::name(code)).arg(code);
}

QString trackingText(const CSetupGpsTracking &record)
{
    switch (record.eTrackingStatus) {
    case CSetupGpsTracking::ByTime:
        return QStringLiteral("by time, every %1 s").arg(record.iInterval);
    case CSetupGpsTracking::ByDistance:
        return QStringLiteral("by distance, every %1 m").arg(record.distance);
    case CSetupGpsTracking::BySpeedLevel:
        return QStringLiteral("by speed level, every %1 s at %2 km/h or more")
            .arg(record.iInterval)
            .arg(record.SpeedLevel);
    default:
        return QStringLiteral("off (status %1)").arg(record.eTrackingStatus);
    }
}

// Language codes as the GUI names its folders: "en", "de", "pt_BR".
bool isLanguageCode(const QString &text)
{
    static const QRegularExpression code(QStringLiteral("^[A-Za-z]{2,3}([_-][A-Za-z0-9]{2,8})?$"));
    return code.match(text).hasMatch();
}

const QString kStandardOutput = QStringLiteral("-");
} // namespace

CCtlCommands::CCtlCommands(const QString &busAddress) : m_busAddress(busAddress), m_out(stdout), m_err(stderr)
{
}

QStringList CCtlCommands::commandNames()
{
    QStringList names;
    for (const CommandHelp &command : kCommands)
        names << QString::fromLatin1(command.name);
    return names;
}

QString CCtlCommands::summary()
{
    QString text;
    for (const CommandHelp &command : kCommands)
        text += QStringLiteral("  %1\n      %2\n")
                    .arg(QLatin1String(command.syntax), QLatin1String(command.description));
    return text;
}

int CCtlCommands::run(const QString &command, const QStringList &arguments)
{
    if (command == QLatin1String("status"))
        return status(arguments);
    if (command == QLatin1String("start"))
        return start(arguments);
    if (command == QLatin1String("watch"))
        return watch(arguments);
    if (command == QLatin1String("gps"))
        return gps(arguments, false);
    if (command == QLatin1String("timesync"))
        return gps(arguments, true);
    if (command == QLatin1String("tracking"))
        return tracking(arguments);
    if (command == QLatin1String("logbook"))
        return logbook(arguments);
    if (command == QLatin1String("export"))
        return exportTrack(arguments);
    if (command == QLatin1String("fidelity"))
        return fidelity(arguments);
    m_err << "vorlanctl: unknown command \"" << command << "\" (see vorlanctl --help)" << Qt::endl;
    return Usage;
}

int CCtlCommands::parseArguments(QCommandLineParser &parser, const QString &command,
                                 const QStringList &arguments)
{
    const CommandHelp *help = findCommand(command);
    parser.setApplicationDescription(QLatin1String(help->description));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help."));
    parser.addOption(helpOption);
    if (!parser.parse(QStringList{QStringLiteral("vorlanctl ") + command} + arguments))
        return usage(command, parser.errorText());
    if (parser.isSet(helpOption)) {
        // Qt's own usage line names no command: replace it, keep the option list.
        m_out << "Usage: vorlanctl [--bus ADDRESS] " << help->syntax << "\n\n"
              << help->description << "\n"
              << parser.helpText().section(QLatin1Char('\n'), 2);
        m_out.flush();
        return Ok;
    }
    return -1;
}

int CCtlCommands::usage(const QString &command, const QString &text)
{
    m_err << "vorlanctl " << command << ": " << text << " (see vorlanctl " << command << " --help)"
          << Qt::endl;
    return Usage;
}

int CCtlCommands::fail(const QString &text)
{
    m_err << "vorlanctl: " << text << Qt::endl;
    return Failed;
}

bool CCtlCommands::openBus(CCtlBus &bus)
{
    QString error;
    if (bus.open(m_busAddress, &error))
        return true;
    fail(error);
    return false;
}

bool CCtlCommands::openStore(CCtlBus &bus)
{
    if (!openBus(bus))
        return false;
    QString error;
    if (bus.storePresent(&error))
        return true;
    fail(error);
    return false;
}

int CCtlCommands::status(const QStringList &arguments)
{
    QCommandLineParser parser;
    const int parsed = parseArguments(parser, QStringLiteral("status"), arguments);
    if (parsed >= 0)
        return parsed;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("status"), QStringLiteral("takes no arguments"));

    CCtlBus bus;
    if (!openBus(bus))
        return Failed;
    m_out << "bus:       " << bus.description() << Qt::endl;
    const int pid = bus.waitForHeartbeat(CCtlBus::kHeartbeatWaitMs);
    if (pid != 0) {
        m_out << "daemon:    alive, heartbeat from pid " << pid << Qt::endl;
        QByteArray name;
        if (bus.askName(pid, CCtlBus::kNameWaitMs, &name))
            m_out << "name:      \"" << CPayloadText::bytes(name) << "\"" << Qt::endl;
        else
            m_out << "name:      no answer within " << CCtlBus::kNameWaitMs << " ms" << Qt::endl;
    } else {
        m_out << "daemon:    no heartbeat within " << CCtlBus::kHeartbeatWaitMs << " ms" << Qt::endl;
    }

    QString error;
    if (!bus.storePresent(&error)) {
        m_out << "store:     not available" << Qt::endl;
        return fail(error);
    }
    m_out << "store:     " << CCtlBus::kService << " running" << Qt::endl;
    int result = pid != 0 ? Ok : DaemonNotRunning;

    const QDBusReply<QByteArray> gpsReply = bus.setup().getSetupGps();
    if (!gpsReply.isValid()) {
        m_out << "gps setup: unreadable: " << gpsReply.error().message() << Qt::endl;
        result = Failed;
    } else if (gpsReply.value().isEmpty()) {
        m_out << "gps setup: none stored" << Qt::endl;
    } else {
        CSetupGps setup;
        const CRecordStatus decoded = setup.parse(gpsReply.value());
        m_out << "gps setup: GPS " << (setup.bGpsEnabled ? "on" : "off") << ", time sync "
              << (setup.iTimeSync != 0 ? "on" : "off") << " (value " << setup.iTimeSync << ")";
        if (!decoded.ok())
            m_out << " [record " << decoded.name() << "]";
        m_out << Qt::endl;
    }

    const QDBusReply<QByteArray> trackingReply = bus.setup().getSetupGpsTracking();
    if (!trackingReply.isValid()) {
        m_out << "tracking:  unreadable: " << trackingReply.error().message() << Qt::endl;
        result = Failed;
    } else if (trackingReply.value().isEmpty()) {
        m_out << "tracking:  none stored" << Qt::endl;
    } else {
        CSetupGpsTracking setup;
        const CRecordStatus decoded = setup.parse(trackingReply.value());
        m_out << "tracking:  " << trackingText(setup);
        if (!decoded.ok())
            m_out << " [record " << decoded.name() << "]";
        m_out << Qt::endl;
    }
    return result;
}

int CCtlCommands::start(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption pidOption(QStringLiteral("pid"),
                                       QStringLiteral("Process number of the daemon (default: taken from its "
                                                      "heartbeat)."),
                                       QStringLiteral("pid"));
    parser.addOption(pidOption);
    const int parsed = parseArguments(parser, QStringLiteral("start"), arguments);
    if (parsed >= 0)
        return parsed;
    int pid = 0;
    if (parser.isSet(pidOption) && !parsePositive(parser.value(pidOption), &pid))
        return usage(QStringLiteral("start"), QStringLiteral("--pid wants a process number"));
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("start"), QStringLiteral("takes no arguments"));

    CCtlBus bus;
    if (!openBus(bus))
        return Failed;
    if (pid == 0) {
        pid = bus.waitForHeartbeat(CCtlBus::kHeartbeatWaitMs);
        if (pid == 0) {
            m_err << "vorlanctl: no daemon heartbeat on " << bus.description() << " within "
                  << CCtlBus::kHeartbeatWaitMs << " ms; give --pid to send anyway" << Qt::endl;
            return DaemonNotRunning;
        }
    }
    QString error;
    if (!bus.sendSignal(QStringLiteral("sigProcessStart"), {CCtlBus::ownPid(), pid}, &error))
        return fail(error);
    m_out << "sigProcessStart sent from pid " << CCtlBus::ownPid() << " to pid " << pid << Qt::endl;
    return Ok;
}

int CCtlCommands::watch(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("One JSON object per line."));
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Stop after N signals."),
                                         QStringLiteral("n"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("Stop after S seconds."),
                                           QStringLiteral("s"));
    parser.addOptions({jsonOption, countOption, secondsOption});
    const int parsed = parseArguments(parser, QStringLiteral("watch"), arguments);
    if (parsed >= 0)
        return parsed;
    int count = 0;
    int seconds = 0;
    if (parser.isSet(countOption) && !parsePositive(parser.value(countOption), &count))
        return usage(QStringLiteral("watch"), QStringLiteral("--count wants a positive number"));
    if (parser.isSet(secondsOption) && !parsePositive(parser.value(secondsOption), &seconds))
        return usage(QStringLiteral("watch"), QStringLiteral("--seconds wants a positive number"));
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("watch"), QStringLiteral("takes no arguments"));

    CSignalCatalog catalog;
    QString error;
    if (!catalog.load(CSignalCatalog::builtInFiles(), &error))
        return fail(error);
    CCtlBus bus;
    if (!openBus(bus))
        return Failed;
    CSignalPrinter printer(catalog);
    m_printer = &printer;
    m_json = parser.isSet(jsonOption);
    m_watchLeft = count;
    // An empty member subscribes to every signal of the interface.
    for (const QString &interface : catalog.interfaces()) {
        if (!bus.connection().connect(QString(), QString(), interface, QString(), this,
                                      SLOT(onWatchedSignal(QDBusMessage))))
            return fail(QStringLiteral("cannot subscribe to %1 on %2").arg(interface, bus.description()));
    }
    if (seconds > 0)
        QTimer::singleShot(seconds * kMsPerSecond, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    m_printer = nullptr;
    return Ok;
}

void CCtlCommands::onWatchedSignal(const QDBusMessage &message)
{
    if (!m_printer || message.type() != QDBusMessage::SignalMessage)
        return;
    m_out << (m_json ? m_printer->json(message) : m_printer->text(message)) << Qt::endl;
    if (m_watchLeft > 0 && --m_watchLeft == 0) {
        m_printer = nullptr;
        QCoreApplication::quit();
    }
}

int CCtlCommands::gps(const QStringList &arguments, bool timeSync)
{
    const QString command = timeSync ? QStringLiteral("timesync") : QStringLiteral("gps");
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("on|off"), QStringLiteral("The new state."));
    const int parsed = parseArguments(parser, command, arguments);
    if (parsed >= 0)
        return parsed;
    bool on = false;
    if (parser.positionalArguments().size() != 1 || !parseSwitch(parser.positionalArguments().first(), &on))
        return usage(command, QStringLiteral("wants on or off"));

    CCtlBus bus;
    if (!openStore(bus))
        return Failed;
    const QDBusReply<QByteArray> current = bus.setup().getSetupGps();
    if (!current.isValid())
        return fail(QStringLiteral("getSetupGps failed: %1").arg(current.error().message()));
    CSetupGps setup;
    if (!current.value().isEmpty()) {
        const CRecordStatus decoded = setup.parse(current.value());
        if (!decoded.ok())
            return fail(QStringLiteral("the stored GPS setup does not decode (%1); not changed")
                            .arg(QLatin1String(decoded.name())));
    }
    if (timeSync)
        setup.iTimeSync = on ? 1 : 0;
    else
        setup.bGpsEnabled = on;
    const QDBusReply<int> stored = bus.setup().setSetupGps(CCtlBus::ownPid(), setup.serialize());
    if (!stored.isValid())
        return fail(QStringLiteral("setSetupGps failed: %1").arg(stored.error().message()));
    if (stored.value() != CReplyCode::REPLY_SUCCESS)
        return fail(QStringLiteral("setSetupGps refused: %1").arg(replyText(stored.value())));
    m_out << (timeSync ? "time sync " : "GPS ") << (on ? "on" : "off") << ": GPS setup stored" << Qt::endl;
    return Ok;
}

int CCtlCommands::tracking(const QStringList &arguments)
{
    const QString command = QStringLiteral("tracking");
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("mode"), QStringLiteral("off, time, distance or speed."));
    parser.addPositionalArgument(QStringLiteral("value"),
                                 QStringLiteral("Seconds for time, metres for distance, km/h for speed."));
    const QCommandLineOption intervalOption(
        QStringLiteral("interval"),
        QStringLiteral("Seconds between points in speed mode (default %1).").arg(kDefaultSpeedIntervalS),
        QStringLiteral("seconds"));
    parser.addOption(intervalOption);
    const int parsed = parseArguments(parser, command, arguments);
    if (parsed >= 0)
        return parsed;
    const QStringList words = parser.positionalArguments();
    const QString mode = words.value(0);
    int value = 0;
    int interval = kDefaultSpeedIntervalS;
    if (mode == QLatin1String("off")) {
        if (words.size() != 1)
            return usage(command, QStringLiteral("off takes no value"));
    } else if (mode == QLatin1String("time") || mode == QLatin1String("distance") ||
               mode == QLatin1String("speed")) {
        if (words.size() != 2 || !parsePositive(words.at(1), &value))
            return usage(command, QStringLiteral("%1 wants one positive number").arg(mode));
    } else {
        return usage(command, QStringLiteral("wants off, time SECONDS, distance METRES or speed KMH"));
    }
    if (parser.isSet(intervalOption)) {
        if (mode != QLatin1String("speed"))
            return usage(command, QStringLiteral("--interval belongs to speed mode"));
        if (!parsePositive(parser.value(intervalOption), &interval))
            return usage(command, QStringLiteral("--interval wants a positive number"));
    }

    CCtlBus bus;
    if (!openStore(bus))
        return Failed;
    const QDBusReply<QByteArray> current = bus.setup().getSetupGpsTracking();
    if (!current.isValid())
        return fail(QStringLiteral("getSetupGpsTracking failed: %1").arg(current.error().message()));
    CSetupGpsTracking setup;
    if (!current.value().isEmpty()) {
        const CRecordStatus decoded = setup.parse(current.value());
        if (!decoded.ok())
            return fail(QStringLiteral("the stored tracking setup does not decode (%1); not changed")
                            .arg(QLatin1String(decoded.name())));
    }
    if (mode == QLatin1String("off")) {
        setup.eTrackingStatus = kTrackingOff;
    } else if (mode == QLatin1String("time")) {
        setup.eTrackingStatus = CSetupGpsTracking::ByTime;
        setup.iInterval = value;
    } else if (mode == QLatin1String("distance")) {
        setup.eTrackingStatus = CSetupGpsTracking::ByDistance;
        setup.distance = value;
    } else {
        setup.eTrackingStatus = CSetupGpsTracking::BySpeedLevel;
        setup.SpeedLevel = value;
        setup.iInterval = interval;
    }
    const QDBusReply<int> stored = bus.setup().setSetupGpsTracking(CCtlBus::ownPid(), setup.serialize());
    if (!stored.isValid())
        return fail(QStringLiteral("setSetupGpsTracking failed: %1").arg(stored.error().message()));
    if (stored.value() != CReplyCode::REPLY_SUCCESS)
        return fail(QStringLiteral("setSetupGpsTracking refused: %1").arg(replyText(stored.value())));
    m_out << "tracking " << trackingText(setup) << ": tracking setup stored" << Qt::endl;
    return Ok;
}

bool CCtlCommands::readLogbook(CCtlBus &bus, int last, QList<CLogbookLine> *entries)
{
    for (const char *table : {CLogbookLine::kGpsTable, CLogbookLine::kTrackingTable}) {
        const QString name = QString::fromLatin1(table);
        const QDBusReply<QStringList> reply = bus.control().listLogbook(name, last);
        if (!reply.isValid()) {
            fail(QStringLiteral("cannot list the %1 logbook: %2").arg(name, reply.error().message()));
            return false;
        }
        for (const QString &line : reply.value()) {
            CLogbookLine entry;
            if (!CLogbookLine::parse(name, line, &entry)) {
                fail(QStringLiteral("unexpected logbook line \"%1\"").arg(line));
                return false;
            }
            *entries << entry;
        }
    }
    // Both tables in the order of storing; the times have millisecond steps.
    std::stable_sort(entries->begin(), entries->end(),
                     [](const CLogbookLine &a, const CLogbookLine &b) { return a.stored < b.stored; });
    if (last > 0 && entries->size() > last)
        *entries = entries->mid(entries->size() - last);
    return true;
}

int CCtlCommands::logbook(const QStringList &arguments)
{
    const QString command = QStringLiteral("logbook");
    QCommandLineParser parser;
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("One JSON array of entries."));
    const QCommandLineOption lastOption(QStringLiteral("last"), QStringLiteral("Only the newest N entries."),
                                        QStringLiteral("n"));
    const QCommandLineOption langOption(
        QStringLiteral("lang"),
        QStringLiteral("Language of the texts (default: the locale's, else English)."),
        QStringLiteral("lang"));
    const QCommandLineOption webRootOption(
        QStringLiteral("web-root"),
        QStringLiteral("Folder holding locales/<lang>/translation.json (default: %1 when it has them, else "
                       "the tree shipped with vorlanctl).")
            .arg(QLatin1String(CTranslationHandler::kDefaultWebRoot)),
        QStringLiteral("dir"));
    parser.addOptions({jsonOption, lastOption, langOption, webRootOption});
    const int parsed = parseArguments(parser, command, arguments);
    if (parsed >= 0)
        return parsed;
    int last = 0;
    if (parser.isSet(lastOption) && !parsePositive(parser.value(lastOption), &last))
        return usage(command, QStringLiteral("--last wants a positive number"));
    if (!parser.positionalArguments().isEmpty())
        return usage(command, QStringLiteral("takes no arguments"));
    const QString english = QString::fromLatin1(CTranslationHandler::kFallbackLanguage);
    const QString webRoot =
        parser.isSet(webRootOption) ? parser.value(webRootOption) : CLogbookText::defaultWebRoot();
    if (parser.isSet(webRootOption) && !CLogbookText::hasTranslation(webRoot, english))
        return usage(command,
                     QStringLiteral("--web-root: %1 has no locales/en/translation.json").arg(webRoot));
    QString language =
        parser.isSet(langOption) ? parser.value(langOption) : CLogbookText::defaultLanguage(webRoot);
    if (!isLanguageCode(language))
        return usage(command, QStringLiteral("--lang wants a language code such as en or de"));

    CCtlBus bus;
    if (!openStore(bus))
        return Failed;
    QList<CLogbookLine> entries;
    if (!readLogbook(bus, last, &entries))
        return Failed;

    if (!CLogbookText::hasTranslation(webRoot, language)) {
        m_err << "vorlanctl: no \"" << language << "\" texts under " << webRoot << "; showing English"
              << Qt::endl;
        language = english;
    }
    CTranslationHandler *translations = CTranslationHandler::instance();
    translations->setWebRoot(webRoot);
    // Every name falls back to English: without that table each entry would
    // repeat the same warning.
    if (translations->translationMap(english).isEmpty()) {
        CTranslationHandler::release();
        return fail(QStringLiteral("cannot read the English texts under %1").arg(webRoot));
    }
    const CLogbookText text(translations->translationMap(language));

    if (parser.isSet(jsonOption)) {
        QJsonArray array;
        for (const CLogbookLine &entry : qAsConst(entries))
            array.append(text.json(entry));
        m_out << QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
    } else if (entries.isEmpty()) {
        m_out << "logbook empty" << Qt::endl;
    } else {
        for (const CLogbookLine &entry : qAsConst(entries))
            m_out << text.line(entry) << Qt::endl;
    }
    m_out.flush();
    CTranslationHandler::release();
    return Ok;
}

bool CCtlCommands::writeOutput(const QString &path, const std::function<bool(QIODevice *)> &writer)
{
    if (path == kStandardOutput) {
        m_out.flush();
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || !writer(&out) || !out.flush()) {
            fail(QStringLiteral("cannot write to standard output"));
            return false;
        }
        return true;
    }
    // Written aside and renamed: a failed export leaves no half file behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        return false;
    }
    if (!writer(&file) || !file.commit()) {
        fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

int CCtlCommands::exportTrack(const QStringList &arguments)
{
    const QString command = QStringLiteral("export");
    QCommandLineParser parser;
    const QCommandLineOption gpxOption(QStringLiteral("gpx"), QStringLiteral("Write the track as GPX 1.1."),
                                       QStringLiteral("file"));
    const QCommandLineOption svgOption(QStringLiteral("svg"), QStringLiteral("Draw the track as SVG."),
                                       QStringLiteral("file"));
    const QCommandLineOption truthOption(
        QStringLiteral("truth"),
        QStringLiteral(
            "Draw the true route of a drive's ground truth (vorlan-nmea-drive --truth) beneath the "
            "track in the SVG picture."),
        QStringLiteral("file"));
    parser.addOptions({gpxOption, svgOption, truthOption});
    const int parsed = parseArguments(parser, command, arguments);
    if (parsed >= 0)
        return parsed;
    if (!parser.isSet(gpxOption) && !parser.isSet(svgOption))
        return usage(command, QStringLiteral("wants --gpx FILE, --svg FILE or both"));
    if (parser.isSet(truthOption) && !parser.isSet(svgOption))
        return usage(command, QStringLiteral("--truth goes with --svg"));
    CTruthTrack truth;
    QString truthError;
    if (parser.isSet(truthOption) && !truth.load(parser.value(truthOption), &truthError))
        return fail(truthError);
    if (!parser.positionalArguments().isEmpty())
        return usage(command, QStringLiteral("takes no arguments"));
    const QString gpxPath = parser.value(gpxOption);
    const QString svgPath = parser.value(svgOption);
    if (gpxPath == kStandardOutput && svgPath == kStandardOutput)
        return usage(command, QStringLiteral("only one of the files can go to standard output"));

    CCtlBus bus;
    if (!openStore(bus))
        return Failed;
    QList<CLogbookLine> entries;
    if (!readLogbook(bus, 0, &entries))
        return Failed;
    const CTrack track(entries);
    if (track.skipped() > 0)
        m_err << "vorlanctl: " << track.skipped()
              << " track entries left out (they do not decode or their position is off the globe)"
              << Qt::endl;

    // Reports go where the pictures do not.
    QTextStream &report = gpxPath == kStandardOutput || svgPath == kStandardOutput ? m_err : m_out;
    const auto target = [](const QString &path) {
        return path == kStandardOutput ? QStringLiteral("standard output") : path;
    };
    if (!gpxPath.isEmpty()) {
        if (!writeOutput(gpxPath, [&track](QIODevice *device) { return CGpxWriter::write(track, device); }))
            return Failed;
        report << "GPX: " << track.points().size() << " track points in " << track.segmentCount()
               << (track.segmentCount() == 1 ? " segment -> " : " segments -> ") << target(gpxPath)
               << Qt::endl;
    }
    if (!svgPath.isEmpty()) {
        const CTruthTrack *truthShown = parser.isSet(truthOption) ? &truth : nullptr;
        if (!writeOutput(svgPath, [&track, truthShown](QIODevice *device) {
                return CSvgWriter::write(track, device, truthShown);
            }))
            return Failed;
        report << "SVG: " << track.points().size() << " track points, " << track.events().size()
               << " GPS events -> " << target(svgPath) << Qt::endl;
    }
    return Ok;
}

int CCtlCommands::fidelity(const QStringList &arguments)
{
    const QString command = QStringLiteral("fidelity");
    QCommandLineParser parser;
    const QCommandLineOption setupOption(
        QStringLiteral("setup"),
        QStringLiteral("A tracking setup instead of the default nine: time:SECONDS, distance:METRES, "
                       "speed:KMH or speed:KMH/SECONDS (interval, default %1 s). Repeatable.")
            .arg(CTrackingReplay::kDefaultSpeedIntervalS),
        QStringLiteral("setup"));
    const QCommandLineOption svgOption(QStringLiteral("svg"),
                                       QStringLiteral("Draw one panel per setup: the true route in grey "
                                                      "under the stored track."),
                                       QStringLiteral("file"));
    const QCommandLineOption pointsOption(
        QStringLiteral("points"),
        QStringLiteral("Write the points each setup stores, one tab-separated line each: setup, GPS time "
                       "(UTC), latitude, longitude."),
        QStringLiteral("file"));
    parser.addOptions({setupOption, svgOption, pointsOption});
    parser.addPositionalArgument(QStringLiteral("truth"), QStringLiteral("The drive's ground truth file."));
    const int parsed = parseArguments(parser, command, arguments);
    if (parsed >= 0)
        return parsed;
    if (parser.positionalArguments().size() != 1)
        return usage(command, QStringLiteral("wants one ground truth file"));
    QVector<CTrackingReplay::Setup> setups;
    for (const QString &text : parser.values(setupOption)) {
        CTrackingReplay::Setup setup;
        if (!CTrackingReplay::parseSetup(text, &setup))
            return usage(command, QStringLiteral("\"%1\" is no tracking setup").arg(text));
        setups << setup;
    }
    if (setups.isEmpty())
        setups = CTrackingReplay::defaultSetups();

    const QString truthPath = parser.positionalArguments().first();
    CTruthTrack truth;
    QString error;
    if (!truth.load(truthPath, &error))
        return fail(error);
    QVector<CTrackFidelity::Position> route;
    for (const CTruthTrack::Epoch &epoch : truth.epochs())
        route.append({epoch.latitude, epoch.longitude});
    const QVector<CTrackFidelity::Position> sampled = CTrackFidelity::alongRoute(route, kRouteStepM);
    const double km = truth.lengthMetres() / 1000.0;
    const qint64 minutes = (truth.epochs().last().utcMs - truth.epochs().first().utcMs) / 60000;

    const QString svgPath = parser.value(svgOption);
    const QString pointsPath = parser.value(pointsOption);
    if (svgPath == kStandardOutput && pointsPath == kStandardOutput)
        return usage(command, QStringLiteral("only one of the files can go to standard output"));
    QTextStream &report = svgPath == kStandardOutput || pointsPath == kStandardOutput ? m_err : m_out;
    report << "Drive " << truthPath << ": " << truth.epochs().size() << " epochs, " << minutes << " min, "
           << QString::number(km, 'f', 1) << " km of true route\n";
    report << QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                  .arg(QStringLiteral("setup"), -22)
                  .arg(QStringLiteral("points"), 6)
                  .arg(QStringLiteral("per km"), 7)
                  .arg(QStringLiteral("transfers"), 9)
                  .arg(QStringLiteral("max m"), 7)
                  .arg(QStringLiteral("p95 m"), 7);
    const auto metres = [](double value) {
        return std::isfinite(value) ? QString::number(value, 'f', 0) : QStringLiteral("-");
    };
    QVector<CFidelitySvg::Panel> panels;
    QByteArray pointLines = "# setup\tutc\tlat_deg\tlon_deg\n";
    for (const CTrackingReplay::Setup &setup : setups) {
        CFidelitySvg::Panel panel;
        for (const int index : CTrackingReplay::run(truth, setup.values)) {
            panel.stored.append(route[index]);
            const CTruthTrack::Epoch &epoch = truth.epochs()[index];
            pointLines +=
                setup.name.toUtf8() + '\t' +
                QDateTime::fromMSecsSinceEpoch(epoch.utcMs, Qt::UTC).toString(Qt::ISODateWithMs).toLatin1() +
                '\t' + QByteArray::number(epoch.latitude, 'f', 9) + '\t' +
                QByteArray::number(epoch.longitude, 'f', 9) + '\n';
        }
        const CTrackFidelity::Summary summary = CTrackFidelity::measure(sampled, panel.stored);
        const int points = panel.stored.size();
        // Every stored point is one logbook entry and one transfer request.
        const QString perKm = km > 0.0 ? QString::number(points / km, 'f', 1) : QStringLiteral("-");
        report << QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                      .arg(setup.name, -22)
                      .arg(points, 6)
                      .arg(perKm, 7)
                      .arg(points, 9)
                      .arg(metres(summary.maxMetres), 7)
                      .arg(metres(summary.p95Metres), 7);
        panel.title = setup.name;
        panel.caption = QStringLiteral("%1 points (%2/km), max %3 m, p95 %4 m")
                            .arg(points)
                            .arg(perKm, metres(summary.maxMetres), metres(summary.p95Metres));
        panels << panel;
    }
    report << "max, p95: distance from the true route (a position every " << kRouteStepM
           << " m along it) to the stored polyline\n";
    report.flush();
    if (!pointsPath.isEmpty() && !writeOutput(pointsPath, [&pointLines](QIODevice *device) {
            return device->write(pointLines) == pointLines.size();
        }))
        return Failed;
    if (!svgPath.isEmpty()) {
        const QString heading =
            QStringLiteral("Tracking setups over %1 (%2 km): true route grey, stored track red")
                .arg(QFileInfo(truthPath).fileName())
                .arg(km, 0, 'f', 1);
        if (!writeOutput(svgPath, [&](QIODevice *device) {
                return CFidelitySvg::write(heading, route, panels, device);
            }))
            return Failed;
    }
    return Ok;
}
