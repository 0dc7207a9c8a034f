// The logbook as people read it (vorlanctl logbook in two languages) and the
// stored track exported as GPX and SVG, against the real store on a private bus.

#include "TestStore.h"
#include "tests/support/TestBus.h"

#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "logbook/ELogSubType.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointF>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QXmlStreamReader>
#include <QtTest>

namespace
{
const QString kService = QStringLiteral("com.Brask.Vorlan");
const QString kSampleRoot = QStringLiteral(VORLAN_SOURCE_DIR "/data/translations");
const QString kGpxSchema = QStringLiteral(VORLAN_SOURCE_DIR "/tests/ctl/data/gpx-1.1-subset.xsd");
constexpr int kRunTimeoutMs = 15000;
constexpr int kDrivePoints = 40;
constexpr int kLostAfterPoint = 19; // data lost after this point, back before the next
constexpr unsigned long kLostMs = 300;
const QRegularExpression kEnglishTime(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  "));
const QRegularExpression kGermanTime(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d  "));

// A drive north-east out of town, 10 s between points, from standing to 95 km/h.
CGpsPoint drivePoint(int i)
{
    CGpsPoint point;
    point.latitude = 48.1 + i * 0.0004;
    point.longitude = 11.5 + i * 0.0006;
    point.altitude = 520.0 + i;
    point.speed = i * 95.0 / (kDrivePoints - 1);
    point.track = 45.0;
    point.satellites = 9;
    point.hdop = 0.9;
    point.dateTime = CDateTime::fromUtc(QDate(2026, 3, 2), QTime(6, 0, 0).addSecs(10 * i));
    return point;
}

QStringList lines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace

class tst_VorlanctlLogbook : public QObject
{
    Q_OBJECT

    TestBus m_bus;
    TestStore *m_store = nullptr;
    QDBusConnection m_conn{QStringLiteral("none")};
    QTemporaryDir m_dir;
    QString m_out;
    QString m_err;

    // The store stamps entries to the millisecond; events and points are put
    // in order by those stamps, so each call waits a little afterwards.
    void store(const char *member, const QByteArray &bytes, unsigned long pauseMs = 2)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, QStringLiteral("/Logbook"),
                                                           QStringLiteral("com.Brask.Vorlan.Logbook"),
                                                           QString::fromLatin1(member));
        call.setArguments({1, bytes});
        QCOMPARE(m_conn.call(call).arguments().value(0).toInt(), 1);
        QThread::msleep(pauseMs);
    }
    void storeEvent(int subType, unsigned long pauseMs = 2)
    {
        CLogGps entry;
        entry.iSubType = subType;
        store("setLogbookGPS", entry.serialize(), pauseMs);
    }
    void storeDrive()
    {
        storeEvent(GPS_Enabled);
        for (int i = 0; i < kDrivePoints; ++i) {
            CLogTracking entry;
            entry.iSubType = GPS_Data;
            entry.oGpsPoint = drivePoint(i);
            store("setLogbookDataTracking", entry.serialize());
            if (i == kLostAfterPoint) {
                // Far from the next point in time: which point is nearest
                // must not hang on the bus's speed.
                storeEvent(GPS_NoData, kLostMs);
                storeEvent(GPS_ValidData);
            }
        }
        storeEvent(GPS_Disabled);
    }
    int run(const QStringList &arguments, bool germanLocale = false)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        if (germanLocale) {
            // The locale's language comes from LC_ALL, LC_NUMERIC or LANG, in that order.
            env.remove(QStringLiteral("LC_ALL"));
            env.remove(QStringLiteral("LC_NUMERIC"));
            env.insert(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
        }
        QProcess ctl;
        ctl.setProcessEnvironment(env);
        ctl.start(QStringLiteral(VORLAN_BINARY_DIR "/ctl/vorlanctl"),
                  QStringList{QStringLiteral("--bus"), m_bus.unixAddress()} + arguments);
        if (!ctl.waitForFinished(kRunTimeoutMs)) {
            ctl.kill();
            ctl.waitForFinished();
            return -1;
        }
        m_out = QString::fromUtf8(ctl.readAllStandardOutput());
        m_err = QString::fromUtf8(ctl.readAllStandardError());
        return ctl.exitCode();
    }
    QStringList logbook(const QString &language)
    {
        run({QStringLiteral("logbook"), QStringLiteral("--web-root"), kSampleRoot, QStringLiteral("--lang"),
             language});
        return lines(m_out);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(m_bus.start(), qPrintable(m_bus.error()));
        m_store = new TestStore(m_bus.unixAddress());
        QVERIFY2(m_store->start(), qPrintable(m_store->error()));
        m_conn = QDBusConnection::connectToBus(m_bus.unixAddress(), QStringLiteral("daemon"));
        QVERIFY(m_conn.isConnected());
    }
    void init()
    {
        QDBusMessage reset = QDBusMessage::createMethodCall(kService, QStringLiteral("/StoreControl"),
                                                            QStringLiteral("com.Brask.Vorlan.StoreControl"),
                                                            QStringLiteral("reset"));
        QCOMPARE(m_conn.call(reset).type(), QDBusMessage::ReplyMessage);
    }
    void cleanupTestCase()
    {
        delete m_store;
        QDBusConnection::disconnectFromBus(QStringLiteral("daemon"));
    }

    // situation: the GPS logbook and the track points of a drive.
    // expected: one line per entry, time first, names and values in the
    // language asked for, English for a language without texts; JSON keeps
    // the listing's fields and adds the rendered ones.
    void readableLogbook()
    {
        storeDrive();
        const int entries = kDrivePoints + 4;
        const QStringList english = logbook(QStringLiteral("en"));
        QCOMPARE(english.size(), entries);
        for (const QString &line : english)
            QVERIFY2(kEnglishTime.match(line).hasMatch(), qPrintable(line));
        QVERIFY2(english.first().endsWith(QLatin1String("  GPS switched on")), qPrintable(english.first()));
        QVERIFY2(english.at(1).endsWith(
                     QLatin1String("  Track point  GPS time 2026-03-02 06:00:00  lat 48.100000  "
                                   "lon 11.500000  speed 0.0 km/h")),
                 qPrintable(english.at(1)));
        QVERIFY(english.at(kLostAfterPoint + 2).endsWith(QLatin1String("  GPS data lost")));
        QVERIFY(english.last().endsWith(QLatin1String("  GPS switched off")));

        const QStringList german = logbook(QStringLiteral("de"));
        QCOMPARE(german.size(), entries);
        QVERIFY2(kGermanTime.match(german.first()).hasMatch(), qPrintable(german.first()));
        QVERIFY(german.first().endsWith(QLatin1String("  GPS eingeschaltet")));
        QVERIFY2(german.at(2).endsWith(
                     QStringLiteral("  Trackpunkt  GPS-Zeit 02.03.2026 06:00:10  Breite 48.100400  "
                                    "L\u00e4nge 11.500600  Geschwindigkeit 2.4 km/h")),
                 qPrintable(german.at(2)));
        QVERIFY(german.at(kLostAfterPoint + 3).endsWith(QStringLiteral("  GPS-Daten wieder verf\u00fcgbar")));

        // No French texts: English, said once on standard error.
        QCOMPARE(logbook(QStringLiteral("fr")), english);
        QVERIFY2(m_err.contains(QLatin1String("no \"fr\" texts")), qPrintable(m_err));
        // The language of the locale when none is asked for.
        QCOMPARE(run({QStringLiteral("logbook"), QStringLiteral("--web-root"), kSampleRoot,
                      QStringLiteral("--last"), QStringLiteral("1")},
                     true),
                 0);
        QVERIFY2(m_out.trimmed().endsWith(QLatin1String("  GPS ausgeschaltet")), qPrintable(m_out));

        QCOMPARE(run({QStringLiteral("logbook"), QStringLiteral("--json"), QStringLiteral("--web-root"),
                      kSampleRoot, QStringLiteral("--lang"), QStringLiteral("en")}),
                 0);
        const QJsonArray array = QJsonDocument::fromJson(m_out.toUtf8()).array();
        QCOMPARE(array.size(), entries);
        const QJsonObject point = array.at(1).toObject();
        QCOMPARE(point.value(QLatin1String("table")).toString(), QStringLiteral("tracking"));
        QCOMPARE(point.value(QLatin1String("subtypeName")).toString(), QStringLiteral("GPS_Data"));
        QCOMPARE(point.value(QLatin1String("name")).toString(), QStringLiteral("Track point"));
        QCOMPARE(point.value(QLatin1String("level")).toInt(), 99);
        QCOMPARE(point.value(QLatin1String("values")).toArray().at(1).toString(),
                 QStringLiteral("lat 48.100000"));
        QCOMPARE(point.value(QLatin1String("valueKeys")).toArray().at(1).toString(),
                 QStringLiteral("i18n_gps_lat_logbook_48.100000"));
        const QJsonObject lost = array.at(kLostAfterPoint + 2).toObject();
        QCOMPARE(lost.value(QLatin1String("level")).toInt(), 67);
        QCOMPARE(lost.value(QLatin1String("name")).toString(), QStringLiteral("GPS data lost"));
    }

    void badOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("text");
        QTest::newRow("language path") << QStringList{"logbook", "--lang", "../../etc"} << "--lang";
        QTest::newRow("web root without texts") << QStringList{"logbook", "--web-root", "/nonexistent"}
                                                << "/nonexistent has no locales/en/translation.json";
        QTest::newRow("export nothing") << QStringList{"export"} << "wants --gpx FILE";
        QTest::newRow("export both to stdout")
            << QStringList{"export", "--gpx", "-", "--svg", "-"} << "only one";
    }
    void badOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, text);
        QCOMPARE(run(arguments), 2);
        QVERIFY2(m_err.contains(text), qPrintable(m_err));
    }

    // situation: a drive with data lost in the middle, an empty logbook, and
    // events without any track point.
    // expected: GPX valid against the schema with one point per stored track
    // point and a new segment after the loss; the SVG a well-formed picture
    // with one dot per track point and one marker per event near a point.
    void exportTrack_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("segments");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("drive") << "drive" << kDrivePoints << 2 << QStringList{"on", "lost", "back", "off"};
        QTest::newRow("empty") << "empty" << 0 << 0 << QStringList();
        QTest::newRow("events only") << "events" << 0 << 0 << QStringList();
    }
    void exportTrack()
    {
        QFETCH(QString, scenario);
        QFETCH(int, points);
        QFETCH(int, segments);
        QFETCH(QStringList, events);
        if (scenario == QLatin1String("drive"))
            storeDrive();
        else if (scenario == QLatin1String("events"))
            storeEvent(GPS_NoData);
        const QString gpx = m_dir.filePath(scenario + QStringLiteral(".gpx"));
        const QString svg = m_dir.filePath(scenario + QStringLiteral(".svg"));
        QCOMPARE(run({QStringLiteral("export"), QStringLiteral("--gpx"), gpx, QStringLiteral("--svg"), svg}),
                 0);
        QVERIFY2(
            m_out.contains(QStringLiteral("GPX: %1 track points in %2 segments").arg(points).arg(segments)),
            qPrintable(m_out));

        checkGpx(gpx, points, segments);
        checkSvg(svg, points, events);
        validateGpx(gpx);
    }

private:
    void checkGpx(const QString &path, int points, int segments)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        int trkpt = 0;
        int trkseg = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            QCOMPARE(xml.namespaceUri().toString(),
                     xml.name() == QLatin1String("speed") || xml.name() == QLatin1String("course")
                         ? QStringLiteral("urn:brask:vorlan:gpx:1")
                         : QStringLiteral("http://www.topografix.com/GPX/1/1"));
            trkseg += xml.name() == QLatin1String("trkseg");
            if (xml.name() == QLatin1String("trkpt") && trkpt++ == 1) {
                // The second point: 10 s into the drive.
                QCOMPARE(xml.attributes().value(QLatin1String("lat")).toString(),
                         QStringLiteral("48.100400"));
                QCOMPARE(xml.attributes().value(QLatin1String("lon")).toString(),
                         QStringLiteral("11.500600"));
                const QStringList expected{"ele",        "521.0", "time",  "2026-03-02T06:00:10Z",
                                           "sat",        "9",     "hdop",  "0.9",
                                           "extensions", "",      "speed", "2.4",
                                           "course",     "45.00"};
                for (int i = 0; i < expected.size(); i += 2) {
                    QVERIFY(xml.readNextStartElement());
                    QCOMPARE(xml.name().toString(), expected.at(i));
                    if (!expected.at(i + 1).isEmpty())
                        QCOMPARE(xml.readElementText(), expected.at(i + 1));
                }
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(trkpt, points);
        QCOMPARE(trkseg, segments);
    }

    void validateGpx(const QString &path)
    {
        const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
        if (xmllint.isEmpty())
            QSKIP("xmllint (libxml2-utils) is not installed");
        const auto validates = [&](const QString &file) {
            QProcess lint;
            lint.start(xmllint, {QStringLiteral("--noout"), QStringLiteral("--schema"), kGpxSchema, file});
            return lint.waitForFinished(kRunTimeoutMs) && lint.exitStatus() == QProcess::NormalExit &&
                   lint.exitCode() == 0;
        };
        QVERIFY(validates(path));
        // The schema is no rubber stamp: it knows which GPX it checks.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray broken = file.readAll();
        QVERIFY(broken.contains("version=\"1.1\""));
        broken.replace("version=\"1.1\"", "version=\"1.0\"");
        const QString brokenPath = path + QStringLiteral(".broken");
        QFile out(brokenPath);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(broken);
        out.close();
        QVERIFY(!validates(brokenPath));
    }

    void checkSvg(const QString &path, int points, const QStringList &events)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QList<QPointF> dots;
        QStringList labels;
        QList<QPointF> pinFeet;
        QSet<QString> routeColours;
        bool inEvent = false;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::EndElement && xml.name() == QLatin1String("g"))
                inEvent = false;
            if (!xml.isStartElement())
                continue;
            const QXmlStreamAttributes a = xml.attributes();
            const auto at = [&a](const char *x, const char *y) {
                return QPointF(a.value(QLatin1String(x)).toDouble(), a.value(QLatin1String(y)).toDouble());
            };
            if (xml.name() == QLatin1String("circle") &&
                a.value(QLatin1String("class")) == QLatin1String("point"))
                dots << at("cx", "cy");
            if (xml.name() == QLatin1String("polyline"))
                routeColours << a.value(QLatin1String("stroke")).toString();
            if (xml.name() == QLatin1String("g") &&
                a.value(QLatin1String("class")) == QLatin1String("event")) {
                labels << a.value(QLatin1String("data-event")).toString();
                inEvent = true;
            }
            if (inEvent && xml.name() == QLatin1String("line"))
                pinFeet << at("x1", "y1");
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(dots.size(), points);
        QCOMPARE(labels, events);
        if (points == 0)
            return;
        // North-east: each dot right of and above the one before.
        for (int i = 1; i < dots.size(); ++i)
            QVERIFY(dots.at(i).x() > dots.at(i - 1).x() && dots.at(i).y() < dots.at(i - 1).y());
        // From standing to 95 km/h the route passes through every speed colour.
        QCOMPARE(routeColours.size(), 6);
        // Each event stands on the point stored nearest to it.
        const QList<QPointF> expectedFeet{dots.first(), dots.at(kLostAfterPoint),
                                          dots.at(kLostAfterPoint + 1), dots.last()};
        QCOMPARE(pinFeet, expectedFeet);
    }
};

QTEST_GUILESS_MAIN(tst_VorlanctlLogbook)
#include "tst_vorlanctl_logbook.moc"
