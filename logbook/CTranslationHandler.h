#ifndef CTRANSLATIONHANDLER_H
#define CTRANSLATIONHANDLER_H

#include <QMap>
#include <QString>
#include <QVariantMap>
#include <QtGlobal>

// The GUI's translation tables (one JSON file per language) and its
// database-to-GUI table, read from the GUI's web root on the board. One
// instance per process, used from one thread; release() ends it.
//
// The files belong to the GUI, not to this program, so every one of them may
// be missing, empty, huge or garbage: a failed load gives an empty map, and
// only translation tables log it (as a warning).
class CTranslationHandler
{
public:
    static const char *const kDefaultWebRoot; // "/var/www/brask_vorlan_gui"
    static const char *const kFallbackLanguage;
    // A translation table of the GUI is a few kB; anything beyond this is no
    // table, and reading it whole would cost the board its memory.
    static constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

    static CTranslationHandler *instance();
    // Destroys the instance; the next instance() call starts with empty caches.
    static void release();

    // The language's table (cached); empty, uncached and logged when loading fails.
    QVariantMap translationMap(const QString &language);
    // The database-to-GUI table, loaded while it is empty; empty when loading fails.
    QVariantMap databaseToGuiMap();

    QString webRoot() const { return m_webRoot; }
    // For tools and tests that read a tree other than the board's; drops the
    // caches, which belong to the old tree.
    void setWebRoot(const QString &path);

    // Text of key in map, else in the English table, else an empty text.
    static QString translate(const QVariantMap &map, const QString &key);
    // translate(), or the key itself when no table has a text for it.
    static QString resolve(const QVariantMap &map, const QString &key);

    // Reads path as Latin-1 text up to its first zero byte and parses it as
    // JSON. A JSON object replaces target; other valid JSON (an array, a
    // number) counts as loaded and leaves target alone. False when the file
    // cannot be read, is over kMaxFileBytes, or does not parse; reason then
    // says why, target is unchanged.
    static bool loadJsonFile(const QString &path, QVariantMap &target, QString *reason = nullptr);

    CTranslationHandler(const CTranslationHandler &) = delete;
    CTranslationHandler &operator=(const CTranslationHandler &) = delete;

private:
    CTranslationHandler();
    ~CTranslationHandler() = default;

    QMap<QString, QVariantMap> m_translations; // by language code
    QVariantMap m_databaseToGui;
    QString m_webRoot;

    static CTranslationHandler *s_instance;
};

#endif // CTRANSLATIONHANDLER_H
