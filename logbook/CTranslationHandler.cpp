#include "CTranslationHandler.h"

#include "logging/CLogStream.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

const char *const CTranslationHandler::kDefaultWebRoot = "/var/www/brask_vorlan_gui";
const char *const CTranslationHandler::kFallbackLanguage = "en";
CTranslationHandler *CTranslationHandler::s_instance = nullptr;

namespace
{
const QString kDateFormatKey = QStringLiteral("dateformat");
constexpr qint64 kReadStepBytes = 64 * 1024;

// The GUI writes day and year in upper case (DD.MM.YYYY); Qt wants d and y.
QString qtDateFormat(QString format)
{
    format.replace(QLatin1Char('D'), QLatin1Char('d'));
    format.replace(QLatin1Char('Y'), QLatin1Char('y'));
    return format;
}

// Qt 5's parser takes only an object or an array at the top; a lone number,
// string, true, false or null is valid JSON all the same. Wrapped in
// brackets it must give an array of exactly one element.
bool isScalarJson(const QByteArray &utf8)
{
    QJsonParseError error;
    const QJsonDocument wrapped = QJsonDocument::fromJson('[' + utf8 + ']', &error);
    return error.error == QJsonParseError::NoError && wrapped.isArray() && wrapped.array().size() == 1;
}
} // namespace

CTranslationHandler::CTranslationHandler() : m_webRoot(QString::fromLatin1(kDefaultWebRoot)) {}

CTranslationHandler *CTranslationHandler::instance()
{
    if (!s_instance)
        s_instance = new CTranslationHandler;
    return s_instance;
}

void CTranslationHandler::release()
{
    delete s_instance;
    s_instance = nullptr;
}

void CTranslationHandler::setWebRoot(const QString &path)
{
    m_webRoot = path;
    m_translations.clear();
    m_databaseToGui.clear();
}

bool CTranslationHandler::loadJsonFile(const QString &path, QVariantMap &target, QString *reason)
{
    const auto failed = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return false;
    };
    QFile file(path);
    // Unbuffered: the reads below are large, and a buffer would only be copied through.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return failed(file.errorString());
    // Read by the size the file has, and on in steps while it delivers more
    // (size() is no help for pipes and device files, and a file may grow),
    // up to one byte past the cap, which tells a file at the cap from a
    // larger one. Buffers follow the file, not the cap.
    constexpr qint64 kLimit = kMaxFileBytes + 1;
    QByteArray bytes;
    const bool tooLarge = !file.isSequential() && file.size() > kMaxFileBytes;
    qint64 step = file.isSequential() ? kReadStepBytes : file.size() + 1;
    while (!tooLarge && bytes.size() < kLimit) {
        const int had = bytes.size();
        bytes.resize(int(qMin(had + step, kLimit)));
        const qint64 wanted = bytes.size() - had;
        const qint64 got = file.read(bytes.data() + had, wanted);
        bytes.resize(had + int(qMax<qint64>(got, 0)));
        // A short read of a regular file is its end; a pipe may deliver in parts.
        if (got <= 0 || (got < wanted && !file.isSequential()))
            break;
        step = kReadStepBytes;
    }
    if (file.error() != QFileDevice::NoError)
        return failed(file.errorString());
    file.close();
    if (tooLarge || bytes.size() > kMaxFileBytes) {
        CLogStream(QtWarningMsg) << "CTranslationHandler::loadJsonFile => not read, larger than"
                                 << kMaxFileBytes << "bytes:" << path;
        return failed(QStringLiteral("larger than %1 bytes").arg(kMaxFileBytes));
    }

    // The GUI's tables are read as Latin-1 up to the first zero byte, as the
    // rest of the fleet reads them; non-ASCII letters belong in \u escapes.
    const int nul = bytes.indexOf('\0');
    const QString text = QString::fromLatin1(bytes.constData(), nul < 0 ? bytes.size() : nul);
    const QByteArray utf8 = text.toUtf8();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError) {
        if (isScalarJson(utf8))
            return true;
        return failed(QStringLiteral("%1 at offset %2").arg(error.errorString()).arg(error.offset));
    }
    if (document.isObject())
        target = document.object().toVariantMap();
    return true;
}

QVariantMap CTranslationHandler::translationMap(const QString &language)
{
    const auto cached = m_translations.constFind(language);
    if (cached != m_translations.constEnd())
        return cached.value();

    const QString path = QStringLiteral("%1/locales/%2/translation.json").arg(m_webRoot, language);
    QVariantMap map;
    QString reason;
    if (!loadJsonFile(path, map, &reason)) {
        CLogStream(QtWarningMsg) << "CTranslationHandler::loadTranslationMap => Loading translation map for"
                                 << language << "failed" << path;
        CLogStream(QtDebugMsg) << "CTranslationHandler::loadTranslationMap =>" << reason;
        return QVariantMap();
    }
    map.insert(kDateFormatKey, qtDateFormat(map.value(kDateFormatKey).toString()));
    m_translations.insert(language, map);
    return map;
}

QVariantMap CTranslationHandler::databaseToGuiMap()
{
    if (m_databaseToGui.isEmpty()) {
        // A failed load leaves the map empty, so the next request tries again.
        loadJsonFile(QStringLiteral("%1/locales/database_to_gui.json").arg(m_webRoot), m_databaseToGui);
    }
    return m_databaseToGui;
}

QString CTranslationHandler::translate(const QVariantMap &map, const QString &key)
{
    const QString text = map.value(key).toString();
    if (!text.isEmpty())
        return text;
    return instance()->translationMap(QString::fromLatin1(kFallbackLanguage)).value(key).toString();
}

QString CTranslationHandler::resolve(const QVariantMap &map, const QString &key)
{
    const QString text = translate(map, key);
    return text.isEmpty() ? key : text;
}
