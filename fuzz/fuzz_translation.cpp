// The GUI's translation files as the logbook model reads them: arbitrary
// bytes as a language table and as the database-to-GUI table, then used to
// render a track point entry (with a fixed English fallback table).

#include "CFuzzEnvironment.h"

#include "logbook/CLogGps.h"
#include "logbook/CTranslationHandler.h"
#include "logbook/ELogSubType.h"

#include <QDir>
#include <QFile>

namespace
{
constexpr int kMaxKeysLookedUp = 16;
const char kEnglish[] =
    R"({"dateformat":"DD.MM.YYYY","timeformat":"HH:mm:ss","logbook_11000_A":"GPS data","logbook_11000_B":"Position"})";

QString webRoot()
{
    return CFuzzEnvironment::scratchDir() + QStringLiteral("/web");
}

QString tablePath()
{
    return webRoot() + QStringLiteral("/locales/xx/translation.json");
}

CLogGps trackPoint()
{
    CLogGps entry;
    entry.iSubType = GPS_Data;
    entry.dtTimeStamp = CDateTime::fromDateTime(QDate(2026, 3, 2), QTime(6, 0));
    entry.oGpsPoint.dateTime = entry.dtTimeStamp;
    entry.oGpsPoint.latitude = 48.5;
    entry.oGpsPoint.longitude = 9.25;
    return entry;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    CFuzzEnvironment::setUp();
    const QString root = webRoot();
    QDir().mkpath(root + QStringLiteral("/locales/xx"));
    QDir().mkpath(root + QStringLiteral("/locales/en"));
    // The database-to-GUI table is the same input: a link to the language
    // table, so that each input is written once. The English fallback is a
    // table of the board's kind: a failing one would be read again for every
    // key looked up (by design, nothing failed is cached), and the loader is
    // the language table's, fuzzed already.
    CFuzzEnvironment::writeFile(tablePath(), QByteArray());
    const QString link = root + QStringLiteral("/locales/database_to_gui.json");
    if (!QFile::link(tablePath(), link))
        CFuzzEnvironmentFail(qPrintable(QStringLiteral("cannot link ") + link), __FILE__, __LINE__);
    CFuzzEnvironment::writeFile(root + QStringLiteral("/locales/en/translation.json"), QByteArray(kEnglish));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = CFuzzEnvironment::toByteArray(data, size);
    const QString root = webRoot();
    const QString table = tablePath();
    CFuzzEnvironment::writeFile(table, bytes);

    // A failed load leaves the target as it was.
    const QVariantMap marker{{QStringLiteral("marker"), 1}};
    QVariantMap target = marker;
    QString reason;
    if (!CTranslationHandler::loadJsonFile(table, target, &reason)) {
        FUZZ_CHECK(target == marker);
        FUZZ_CHECK(!reason.isEmpty());
    }

    CTranslationHandler *handler = CTranslationHandler::instance();
    handler->setWebRoot(root); // drops the previous input's cached tables
    const QVariantMap map = handler->translationMap(QStringLiteral("xx"));
    (void)handler->databaseToGuiMap();

    int looked = 0;
    for (auto it = map.cbegin(); it != map.cend() && looked < kMaxKeysLookedUp; ++it, ++looked) {
        (void)CTranslationHandler::translate(map, it.key());
        FUZZ_CHECK(!CTranslationHandler::resolve(map, it.key()).isEmpty() || it.key().isEmpty());
    }
    (void)CTranslationHandler::resolve(map, QStringLiteral("no such key"));

    const CLogDisplayRecord shown = trackPoint().render(map);
    (void)shown.dtTimeStamp.toString(shown.dateFormat);
    (void)shown.dtTimeStamp.toString(shown.timeFormat);
    return 0;
}
