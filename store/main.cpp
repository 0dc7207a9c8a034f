// vorlan-store: stand-in for the central data service com.Brask.Vorlan.

#include "CStoreControl.h"
#include "CStoreCore.h"
#include "CStoreDatabase.h"
#include "CStoreLogbook.h"
#include "CStoreOptions.h"
#include "CStoreRuntime.h"
#include "CStoreSetup.h"
#include "logbook_adaptor.h"
#include "runtime_adaptor.h"
#include "setup_adaptor.h"
#include "storecontrol_adaptor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMetaMethod>
#include <QTimer>

#include <cstdio>

namespace
{
const char *const kServiceName = "com.Brask.Vorlan";
const char *const kConnectionName = "vorlan-store";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// How often the store looks whether its bus is still there.
constexpr int kBusCheckMs = 1000;

// The members an adaptor generated from the interface description serves.
QStringList membersOf(const QMetaObject &adaptor)
{
    QStringList members;
    for (int i = adaptor.methodOffset(); i < adaptor.methodCount(); ++i) {
        const QMetaMethod method = adaptor.method(i);
        if (method.methodType() == QMetaMethod::Slot)
            members << QString::fromLatin1(method.name());
    }
    return members;
}

QDBusConnection openBus(const QString &address)
{
    if (address.isEmpty())
        return QDBusConnection::sessionBus();
    return QDBusConnection::connectToBus(address, QString::fromLatin1(kConnectionName));
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorlan-store"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORLAN_VERSION));
    qSetMessagePattern(QStringLiteral("vorlan-store: %{if-warning}warning: %{endif}%{if-critical}error: "
                                      "%{endif}%{message}"));

    CStoreOptions options;
    QString error;
    if (!options.parse(QCoreApplication::arguments(), &error)) {
        qCritical("%s (see --help)", qPrintable(error));
        return kExitUsage;
    }

    CStoreDatabase database;
    if (!database.open(options.databasePath)) {
        qCritical("cannot open database %s: %s",
                  qPrintable(options.inMemory ? QStringLiteral("in memory") : options.databasePath),
                  qPrintable(database.lastError()));
        return kExitFailure;
    }

    CStoreCore core(database, options.maxRecordBytes, options.maxLogbookEntries);
    core.setMembers(membersOf(SetupAdaptor::staticMetaObject) + membersOf(RuntimeAdaptor::staticMetaObject) +
                    membersOf(LogbookAdaptor::staticMetaObject));
    if (!options.callLogPath.isEmpty() && !core.openCallLogFile(options.callLogPath, &error)) {
        qCritical("%s", qPrintable(error));
        return kExitFailure;
    }
    for (const QString &seed : qAsConst(options.seeds)) {
        const int count = core.loadSeed(seed, &error);
        if (count < 0) {
            qCritical("%s", qPrintable(error));
            return kExitFailure;
        }
        qInfo("seed %s: %d records and entries stored", qPrintable(seed), count);
    }
    for (auto it = options.faults.cbegin(); it != options.faults.cend(); ++it) {
        if (!core.setFault(it.key(), it.value(), &error)) {
            qCritical("--fail: %s", qPrintable(error));
            return kExitUsage;
        }
    }
    for (auto it = options.delays.cbegin(); it != options.delays.cend(); ++it) {
        if (!core.setDelay(it.key(), it.value(), &error)) {
            qCritical("--delay: %s", qPrintable(error));
            return kExitUsage;
        }
    }

    CStoreSetup setup(core);
    CStoreRuntime runtime(core);
    CStoreLogbook logbook(core);
    CStoreControl control(core);
    new SetupAdaptor(&setup);
    new RuntimeAdaptor(&runtime);
    new LogbookAdaptor(&logbook);
    new StoreControlAdaptor(&control);

    QDBusConnection bus = openBus(options.busAddress);
    const QString busText =
        options.busAddress.isEmpty() ? QStringLiteral("the session bus") : options.busAddress;
    if (!bus.isConnected()) {
        qCritical("cannot connect to %s: %s", qPrintable(busText), qPrintable(bus.lastError().message()));
        return kExitFailure;
    }
    const auto exportAdaptors = QDBusConnection::ExportAdaptors;
    if (!bus.registerObject(QStringLiteral("/SetupData"), &setup, exportAdaptors) ||
        !bus.registerObject(QStringLiteral("/RuntimeData"), &runtime, exportAdaptors) ||
        !bus.registerObject(QStringLiteral("/Logbook"), &logbook, exportAdaptors) ||
        !bus.registerObject(QStringLiteral("/StoreControl"), &control, exportAdaptors)) {
        qCritical("cannot register the objects on %s", qPrintable(busText));
        return kExitFailure;
    }
    // A second store would split the system's data: refuse rather than queue.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> owned = bus.interface()->registerService(
        QString::fromLatin1(kServiceName), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!owned.isValid() || owned.value() != QDBusConnectionInterface::ServiceRegistered) {
        qCritical("cannot own %s on %s: %s", kServiceName, qPrintable(busText),
                  owned.isValid() ? "the name is taken by another process"
                                  : qPrintable(owned.error().message()));
        return kExitFailure;
    }
    qInfo("serving %s on %s, database %s", kServiceName, qPrintable(busText),
          qPrintable(options.inMemory ? QStringLiteral("in memory") : options.databasePath));
    std::fputs("ready.\n", stdout);
    std::fflush(stdout);

    // Without its bus the store serves nobody; end instead of lingering.
    QTimer busCheck;
    QObject::connect(&busCheck, &QTimer::timeout, &app, [&bus, &busText]() {
        if (!bus.isConnected()) {
            qCritical("lost %s", qPrintable(busText));
            QCoreApplication::exit(kExitFailure);
        }
    });
    busCheck.start(kBusCheckMs);
    return app.exec();
}
