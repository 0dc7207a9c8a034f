// Logbook entries rendered for the operator's screen, and the translation
// tables they are rendered with: the project's sample tree, and hostile files.

#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "logbook/CTranslationHandler.h"
#include "logbook/ELogSubType.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace
{
const QString kSampleRoot = QStringLiteral(VORLAN_SOURCE_DIR "/data/translations");
const QString kDateTimeValue = QStringLiteral("i18n_datetime_2026/03/02 06:14:03");
const QString kLatitudeValue = QStringLiteral("i18n_gps_lat_logbook_48.123456");
const QString kLongitudeValue = QStringLiteral("i18n_gps_lon_logbook_11.512345");

QStringList warnings;
QStringList debugs;

void captureMessage(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    (type == QtWarningMsg ? warnings : debugs).append(text);
}

QString loadWarning(const QString &language, const QString &path)
{
    // Each item of the fleet's log form is followed by a blank, the last one too.
    return QStringLiteral("CTranslationHandler::loadTranslationMap => Loading translation map for \"%1\" "
                          "failed \"%2\" ")
        .arg(language, path);
}

std::unique_ptr<CLogBase> makeEntry(bool tracking, int subType)
{
    CGpsPoint point;
    point.latitude = 48.123456;
    point.longitude = 11.512345;
    point.dateTime = CDateTime::fromDateTime(QDate(2026, 3, 2), QTime(6, 14, 3));
    if (tracking) {
        auto entry = std::make_unique<CLogTracking>();
        entry->iSubType = subType;
        entry->oGpsPoint = point;
        return entry;
    }
    auto entry = std::make_unique<CLogGps>();
    entry->iSubType = subType;
    entry->oGpsPoint = point;
    return entry;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}
} // namespace

class tst_LogbookRender : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QtMessageHandler m_previous = nullptr;

    QString path(const QString &language) const
    {
        return m_root.path() + QStringLiteral("/locales/%1/translation.json").arg(language);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        m_previous = qInstallMessageHandler(captureMessage);
    }
    void cleanupTestCase() { qInstallMessageHandler(m_previous); }
    void init()
    {
        CTranslationHandler::release();
        warnings.clear();
        debugs.clear();
    }

    // situation: entries of every GPS subtype and a track point, rendered with
    // the sample tables of two languages and of a language without a table.
    // expected: names in the language (English for the missing one), the
    // levels of the subtypes, a track point's time and position as values.
    void render_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("tracking");
        QTest::addColumn<int>("subType");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("hasValues");
        QTest::addColumn<QString>("dateFormat");
        const struct {
            bool tracking;
            int subType;
            const char *en;
            const char *de;
            int level;
        } rows[] = {
            {false, GPS_Data, "GPS data", "GPS-Daten", 55},
            {false, GPS_Enabled, "GPS switched on", "GPS eingeschaltet", 55},
            {false, GPS_Disabled, "GPS switched off", "GPS ausgeschaltet", 67},
            {false, GPS_ValidData, "GPS data available again", "GPS-Daten wieder verf\u00fcgbar", 55},
            {false, GPS_NoData, "GPS data lost", "GPS-Daten verloren", 67},
            {false, 11005, "logbook_11005", "logbook_11005", 99}, // no key anywhere: the key itself
            {true, GPS_Data, "Track point", "Trackpunkt", 99},
        };
        for (const QString &language : {QStringLiteral("en"), QStringLiteral("de"), QStringLiteral("fr")}) {
            for (const auto &row : rows) {
                const bool german = language == QLatin1String("de");
                QTest::addRow("%s %s %d", qPrintable(language), row.tracking ? "tracking" : "gps",
                              row.subType)
                    << language << row.tracking << row.subType << QString::fromUtf8(german ? row.de : row.en)
                    << row.level << (!row.tracking && row.subType == GPS_Data)
                    << (german ? QStringLiteral("dd.MM.yyyy") : QStringLiteral("yyyy-MM-dd"));
            }
        }
    }
    void render()
    {
        QFETCH(QString, language);
        QFETCH(bool, tracking);
        QFETCH(int, subType);
        QFETCH(QString, name);
        QFETCH(int, level);
        QFETCH(bool, hasValues);
        QFETCH(QString, dateFormat);
        CTranslationHandler::instance()->setWebRoot(kSampleRoot);
        const QVariantMap map = CTranslationHandler::instance()->translationMap(language);
        QCOMPARE(map.isEmpty(), language == QLatin1String("fr"));

        std::unique_ptr<CLogBase> entry = makeEntry(tracking, subType);
        entry->dtTimeStamp = CDateTime::fromDateTime(QDate(2026, 3, 2), QTime(6, 14, 5));
        const CLogDisplayRecord record = entry->render(map);
        QCOMPARE(record.name, name);
        QCOMPARE(record.level, level);
        const QVariantList values{kDateTimeValue, kLatitudeValue, kLongitudeValue};
        QCOMPARE(record.values, hasValues ? values : QVariantList());
        QCOMPARE(record.dateFormat, dateFormat);
        QCOMPARE(record.timeFormat, QStringLiteral("HH:mm:ss"));
        QCOMPARE(record.dtTimeStamp, entry->dtTimeStamp);
        QCOMPARE(record.translationMap, map);
        QVERIFY(record.firstText.isEmpty() && record.secondText.isEmpty());
        QCOMPARE(record.lastNumber, 0);
        const QVariantMap nameValue{
            {QStringLiteral("name"), QStringLiteral("logbook_wm_entry")},
            {QStringLiteral("value"), QStringLiteral("i18n_logbook_wm_type_unknown")}};
        QCOMPARE(entry->renderNameValue(), QVariantList{nameValue});
    }

    // situation: an English table without the track point's key and without
    // formats, and a table writing day and year in upper case.
    // expected: the key itself as name, formats resolved to their keys; upper
    // case D and Y lowered in the cached table only.
    void renderEdgeCases()
    {
        writeFile(path(QStringLiteral("en")), "{\"timeformat\": \"\"}");
        writeFile(path(QStringLiteral("xx")), "{\"dateformat\": \"DD.MM.YYYY Dd Yy\", \"11000\": \"Punkt\"}");
        CTranslationHandler::instance()->setWebRoot(m_root.path());

        const CLogDisplayRecord gpsData = makeEntry(false, GPS_Data)->render(QVariantMap());
        QCOMPARE(gpsData.name, QStringLiteral("logbook_11000_A"));
        QCOMPARE(gpsData.level, 55);
        QCOMPARE(gpsData.values.size(), 3);
        QCOMPARE(gpsData.dateFormat, QStringLiteral("dateformat"));
        QCOMPARE(gpsData.timeFormat, QStringLiteral("timeformat"));

        const QVariantMap given{{QStringLiteral("dateformat"), QStringLiteral("YYYY")}};
        QCOMPARE(makeEntry(false, GPS_NoData)->render(given).dateFormat, QStringLiteral("YYYY"));
        const QVariantMap upper = CTranslationHandler::instance()->translationMap(QStringLiteral("xx"));
        QCOMPARE(upper.value(QStringLiteral("dateformat")).toString(), QStringLiteral("dd.MM.yyyy dd yy"));
        QCOMPARE(makeEntry(true, GPS_Data)->render(upper).name, QStringLiteral("Punkt"));
        // The English table was loaded with a created, empty date format.
        QCOMPARE(CTranslationHandler::instance()
                     ->translationMap(QStringLiteral("en"))
                     .value(QStringLiteral("dateformat")),
                 QVariant(QString()));
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
    }

    // situation: translation and database-to-GUI files that are missing,
    // empty, garbage, of the wrong shape, oversized, cut by a zero byte, in
    // another encoding or nested beyond reason.
    // expected: no crash; failed loads give empty maps, and only translation
    // tables warn, at every request; valid JSON that is no object loads
    // without content; bytes count as Latin-1.
    void hostileFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: no file at all
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QVariantMap>("content");
        const QVariantMap ab{{QStringLiteral("a"), QStringLiteral("b")}};
        const auto padded = [](qint64 size) {
            QByteArray bytes("{\"a\": \"b\"}");
            return bytes + QByteArray(int(size - bytes.size()), ' ');
        };
        QTest::newRow("missing") << QByteArray() << false << QVariantMap();
        QTest::newRow("empty") << QByteArray("") << false << QVariantMap();
        QTest::newRow("blanks") << QByteArray(" \n\t ") << false << QVariantMap();
        QTest::newRow("not json") << QByteArray("dateformat = DD.MM.YYYY") << false << QVariantMap();
        QTest::newRow("cut object") << QByteArray("{\"a\": \"b\"") << false << QVariantMap();
        QTest::newRow("garbage after object") << QByteArray("{\"a\": \"b\"} x") << false << QVariantMap();
        QTest::newRow("array") << QByteArray("[{\"a\": \"b\"}]") << true << QVariantMap();
        QTest::newRow("number") << QByteArray("42") << true << QVariantMap();
        QTest::newRow("null") << QByteArray("null") << true << QVariantMap();
        QTest::newRow("two numbers") << QByteArray("1, 2") << false << QVariantMap();
        QTest::newRow("at the size cap") << padded(CTranslationHandler::kMaxFileBytes) << true << ab;
        QTest::newRow("over the size cap")
            << padded(CTranslationHandler::kMaxFileBytes + 1) << false << QVariantMap();
        QTest::newRow("zero byte after object") << QByteArray("{\"a\": \"b\"}\0{[", 13) << true << ab;
        QTest::newRow("zero byte inside") << QByteArray("{\"a\": \"b\0\"}", 11) << false << QVariantMap();
        QTest::newRow("latin-1 bytes") << QByteArray("{\"a\": \"\xe4\xff\"}") << true
                                       << QVariantMap{{QStringLiteral("a"), QStringLiteral("\u00e4\u00ff")}};
        QTest::newRow("raw utf-8 umlaut")
            << QByteArray("{\"a\": \"\xc3\xa4\"}") << true
            << QVariantMap{{QStringLiteral("a"), QStringLiteral("\u00c3\u00a4")}};
        QTest::newRow("escaped umlaut") << QByteArray("{\"a\": \"\\u00e4\"}") << true
                                        << QVariantMap{{QStringLiteral("a"), QStringLiteral("\u00e4")}};
        QTest::newRow("deep arrays") << QByteArray(100000, '[') << false << QVariantMap();
        QTest::newRow("deep objects") << QByteArray("{\"a\":").repeated(100000) << false << QVariantMap();
    }
    void hostileFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, loaded);
        QFETCH(QVariantMap, content);
        const QString language = QStringLiteral("h%1").arg(QTest::currentDataTag()).remove(QLatin1Char(' '));
        const QString databasePath = m_root.path() + QStringLiteral("/locales/database_to_gui.json");
        QFile::remove(databasePath);
        if (!bytes.isNull()) {
            writeFile(path(language), bytes);
            writeFile(databasePath, bytes);
        }
        CTranslationHandler *handler = CTranslationHandler::instance();
        handler->setWebRoot(m_root.path());
        const bool oversized = bytes.size() > CTranslationHandler::kMaxFileBytes;

        QVariantMap expected = content;
        if (loaded)
            expected.insert(QStringLiteral("dateformat"), QString());
        for (int request = 1; request <= 2; ++request) {
            QCOMPARE(handler->translationMap(language), expected);
            const QStringList loadWarnings = warnings.filter(QStringLiteral("loadTranslationMap"));
            QCOMPARE(loadWarnings.size(), loaded ? 0 : request);
            QCOMPARE(loadWarnings.count(loadWarning(language, path(language))), loadWarnings.size());
        }
        QCOMPARE(handler->databaseToGuiMap(), content);
        QCOMPARE(warnings.filter(QStringLiteral("larger than")).size(), oversized ? 3 : 0);
        QCOMPARE(warnings.size(), (loaded ? 0 : 2) + (oversized ? 3 : 0));
    }

    // situation: a table changes on disk after it was loaded.
    // expected: the cache answers until release(); the new instance starts
    // at the board's web root with empty caches.
    void cacheAndRelease()
    {
        writeFile(path(QStringLiteral("cc")), "{\"a\": \"old\"}");
        CTranslationHandler::instance()->setWebRoot(m_root.path());
        QCOMPARE(
            CTranslationHandler::instance()->translationMap(QStringLiteral("cc")).value(QStringLiteral("a")),
            QVariant(QStringLiteral("old")));
        writeFile(path(QStringLiteral("cc")), "{\"a\": \"new\"}");
        QCOMPARE(
            CTranslationHandler::instance()->translationMap(QStringLiteral("cc")).value(QStringLiteral("a")),
            QVariant(QStringLiteral("old")));
        CTranslationHandler::release();
        QCOMPARE(CTranslationHandler::instance()->webRoot(), QStringLiteral("/var/www/brask_vorlan_gui"));
        CTranslationHandler::instance()->setWebRoot(m_root.path());
        QCOMPARE(
            CTranslationHandler::instance()->translationMap(QStringLiteral("cc")).value(QStringLiteral("a")),
            QVariant(QStringLiteral("new")));
    }

    // The sample tree is read as Latin-1: it must stay ASCII, and German must
    // name everything English names.
    void sampleTree()
    {
        CTranslationHandler::instance()->setWebRoot(kSampleRoot);
        const QVariantMap en = CTranslationHandler::instance()->translationMap(QStringLiteral("en"));
        const QVariantMap de = CTranslationHandler::instance()->translationMap(QStringLiteral("de"));
        QCOMPARE(de.keys(), en.keys());
        QCOMPARE(de.value(QStringLiteral("gps_lon_logbook")).toString(), QStringLiteral("L\u00e4nge %1"));
        QVERIFY(!CTranslationHandler::instance()->databaseToGuiMap().isEmpty());
        for (const QString &file :
             {QStringLiteral("locales/en/translation.json"), QStringLiteral("locales/de/translation.json"),
              QStringLiteral("locales/database_to_gui.json")}) {
            QFile in(kSampleRoot + QLatin1Char('/') + file);
            QVERIFY(in.open(QIODevice::ReadOnly));
            const QByteArray bytes = in.readAll();
            QVERIFY2(std::all_of(bytes.cbegin(), bytes.cend(),
                                 [](char c) { return c != 0 && static_cast<unsigned char>(c) < 0x80; }),
                     qPrintable(file));
        }
        QVERIFY(warnings.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_LogbookRender)
#include "tst_logbook_render.moc"
