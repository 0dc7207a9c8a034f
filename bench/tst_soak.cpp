// A short soak of the daemon: two minutes of a fast 10 Hz drive through
// gpsd, the daemon and the data service, with the log rotating every few
// seconds. After a warm-up the daemon's descriptors and threads must not
// grow, its memory must stay within a generous bound, no call the data
// service took may lack its log line across the rotations, and the daemon
// must still answer at the end. The long version is bench/vorlan-soak.

#include "CSoakRun.h"

#include <QTextStream>
#include <QtTest>

class tst_Soak : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shortDriveStaysFlatAndLosesNoLogLine();
};

void tst_Soak::shortDriveStaysFlatAndLosesNoLogLine()
{
    CSoakRun::Options o;
    o.driveSeconds = 120;
    o.warmupSeconds = 30;
    // A loaded CI machine: slow starts and scheduling hiccups must not count.
    o.maxFdGrowth = 3;
    o.maxThreadGrowth = 1;
    o.maxRssGrowthKb = 4096;
#ifdef VORLAN_SOAK_NO_RSS_LIMIT
    // The sanitizers' quarantine holds freed memory on purpose.
    o.checkRss = false;
#endif
    const CSoakRun::Result result = CSoakRun(o).run();
    if (result.skipped)
        QSKIP(qPrintable(result.skipReason));
    QString summary;
    QTextStream text(&summary);
    CSoakRun::printSummary(result, o, text);
    qInfo().noquote() << summary;
    QVERIFY2(result.problems.isEmpty(), qPrintable(result.problems.join(QLatin1String("; "))));
}

QTEST_GUILESS_MAIN(tst_Soak)
#include "tst_soak.moc"
