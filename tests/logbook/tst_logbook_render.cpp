// Logbook entries rendered for the operator's screen with the translation
// tables: the project's sample tree, and hostile files.

#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "logbook/CTranslationHandler.h"
#include "logbook/ELogSubType.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace
{
const QString kSampleRoot = QStringLiteral(VORLAN_SOURCE_DIR "/data/translations");

QStringList warnings;

void captureMessage(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtWarningMsg)
        warnings.append(text);
}

template <typename Entry> std::unique_ptr<CLogBase> entryOf(int subType)
{
    auto entry = std::make_unique<Entry>();
    entry->oGpsPoint.latitude = 48.123456;
    entry->oGpsPoint.longitude = 11.512345;
    entry->oGpsPoint.dateTime = CDateTime::fromDateTime(QDate(2026, 3, 2), QTime(6, 14, 3));
    entry->iSubType = subType;
    entry->dtTimeStamp = CDateTime::fromDateTime(QDate(2026, 3, 2), QTime(6, 14, 5));
    return entry;
}

std::unique_ptr<CLogBase> makeEntry(bool tracking, int subType)
{
    return tracking ? entryOf<CLogTracking>(subType) : entryOf<CLogGps>(subType);
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
    CTranslationHandler *handler(const QString &root)
    {
        CTranslationHandler::instance()->setWebRoot(root);
        return CTranslationHandler::instance();
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
    }
    // Names in the language (English without a table), levels, a point's time and position.
    void render_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("tracking");
        QTest::addColumn<int>("subType");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("level");
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
        for (const char *language : {"en", "de", "fr"}) {
            for (const auto &row : rows) {
                const bool german = qstrcmp(language, "de") == 0;
                const bool english = qstrcmp(language, "en") == 0,
                           gpsData = !row.tracking && row.subType == GPS_Data;
                if ((german && row.subType == 11005) || (!english && !german && !gpsData))
                    continue; // the same as in English: "fr" has no table
                QTest::addRow("%s %s %d", language, row.tracking ? "tracking" : "gps", row.subType)
                    << QString::fromLatin1(language) << row.tracking << row.subType
                    << QString::fromUtf8(german ? row.de : row.en) << row.level;
            }
        }
    }
    void render()
    {
        QFETCH(QString, language);
        QFETCH(bool, tracking);
        QFETCH(int, subType);
        const QVariantMap map = handler(kSampleRoot)->translationMap(language);
        QCOMPARE(map.isEmpty(), language == QLatin1String("fr"));
        const std::unique_ptr<CLogBase> entry = makeEntry(tracking, subType);
        const CLogDisplayRecord record = entry->render(map);
        QTEST(record.name, "name");
        QTEST(record.level, "level");
        const QVariantList values{"i18n_datetime_2026/03/02 06:14:03", "i18n_gps_lat_logbook_48.123456",
                                  "i18n_gps_lon_logbook_11.512345"};
        QCOMPARE(record.values, !tracking && subType == GPS_Data ? values : QVariantList());
        QCOMPARE(record.dateFormat, language == QLatin1String("de") ? "dd.MM.yyyy" : "yyyy-MM-dd");
        QCOMPARE(record.dtTimeStamp, entry->dtTimeStamp);
    }
    // A table without the key or formats: the key itself, formats as their keys.
    // Upper-case D and Y are lowered in the cached table only.
    void tablesOnDisk()
    {
        writeFile(path(QStringLiteral("en")), "{\"timeformat\": \"\"}");
        writeFile(path(QStringLiteral("xx")), "{\"dateformat\": \"DD.MM.YYYY Dd Yy\", \"11000\": \"Punkt\"}");
        CTranslationHandler *tables = handler(m_root.path());
        const CLogDisplayRecord gpsData = makeEntry(false, GPS_Data)->render(QVariantMap());
        QCOMPARE(gpsData.name, QStringLiteral("logbook_11000_A"));
        QCOMPARE(gpsData.level, 55);
        QCOMPARE(gpsData.dateFormat + gpsData.timeFormat, QStringLiteral("dateformattimeformat"));
        const QVariantMap given{{QStringLiteral("dateformat"), QStringLiteral("YYYY")}};
        QCOMPARE(makeEntry(false, GPS_NoData)->render(given).dateFormat, QStringLiteral("YYYY"));
        const QVariantMap upper = tables->translationMap(QStringLiteral("xx"));
        QCOMPARE(upper.value(QStringLiteral("dateformat")).toString(), QStringLiteral("dd.MM.yyyy dd yy"));
        QCOMPARE(makeEntry(true, GPS_Data)->render(upper).name, QStringLiteral("Punkt"));
        // The English table was loaded with a created, empty date format.
        QCOMPARE(tables->translationMap(QStringLiteral("en")).value(QStringLiteral("dateformat")),
                 QVariant(QString()));
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
        // The cache answers until release(); a new instance starts at the board's web root.
        writeFile(path(QStringLiteral("xx")), "{\"11000\": \"Neu\"}");
        QCOMPARE(tables->translationMap(QStringLiteral("xx")), upper);
        CTranslationHandler::release();
        QCOMPARE(CTranslationHandler::instance()->webRoot(), QStringLiteral("/var/www/brask_vorlan_gui"));
        QCOMPARE(handler(m_root.path())->translationMap(QStringLiteral("xx")).value("11000"),
                 QVariant("Neu"));
    }
    // Failed loads give empty maps, and translation tables warn at every request;
    // JSON that is no object loads empty; bytes are Latin-1 up to a zero byte.
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
        QTest::newRow("cut object") << QByteArray("{\"a\": \"b\"") << false << QVariantMap();
        QTest::newRow("array") << QByteArray("[{\"a\": \"b\"}]") << true << QVariantMap();
        QTest::newRow("at the size cap") << padded(CTranslationHandler::kMaxFileBytes) << true << ab;
        QTest::newRow("over the size cap")
            << padded(CTranslationHandler::kMaxFileBytes + 1) << false << QVariantMap();
        QTest::newRow("zero byte after object") << QByteArray("{\"a\": \"b\"}\0{[", 13) << true << ab;
        QTest::newRow("latin-1 bytes") << QByteArray("{\"a\": \"\xe4\xff\"}") << true
                                       << QVariantMap{{QStringLiteral("a"), QStringLiteral("\u00e4\u00ff")}};
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
        CTranslationHandler *tables = handler(m_root.path());
        const bool oversized = bytes.size() > CTranslationHandler::kMaxFileBytes;
        QVariantMap expected = content;
        if (loaded)
            expected.insert(QStringLiteral("dateformat"), QString());
        // Each item of the fleet's log form is followed by a blank, the last one too.
        const QString warning =
            QStringLiteral("CTranslationHandler::loadTranslationMap => Loading translation map "
                           "for \"%1\" failed \"%2\" ")
                .arg(language, path(language));
        for (int request = 1; request <= 2; ++request) {
            QCOMPARE(tables->translationMap(language), expected);
            const QStringList loadWarnings = warnings.filter(QStringLiteral("loadTranslationMap"));
            QCOMPARE(loadWarnings.size(), loaded ? 0 : request);
            QCOMPARE(loadWarnings.count(warning), loadWarnings.size());
        }
        QCOMPARE(tables->databaseToGuiMap(), content);
        QCOMPARE(warnings.filter(QStringLiteral("larger than")).size(), oversized ? 3 : 0);
        QCOMPARE(warnings.size(), (loaded ? 0 : 2) + (oversized ? 3 : 0));
    }
};

QTEST_GUILESS_MAIN(tst_LogbookRender)
#include "tst_logbook_render.moc"
