#include "CRotatedLog.h"

#include "../tests/support/TestDaemon.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <sys/stat.h>

namespace
{
QByteArray statKey(const QString &path)
{
    struct stat info {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QByteArray();
    return QByteArray::number(qulonglong(info.st_ino)) + '/' + QByteArray::number(qlonglong(info.st_size)) +
           '/' + QByteArray::number(qlonglong(info.st_mtim.tv_sec)) + '.' +
           QByteArray::number(qlonglong(info.st_mtim.tv_nsec));
}

QStringList splitLines(const QByteArray &text)
{
    QString all = QString::fromUtf8(text);
    if (all.endsWith(QLatin1Char('\n')))
        all.chop(1);
    return all.isEmpty() ? QStringList() : all.split(QLatin1Char('\n'));
}

QString stamp(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(QStringLiteral("HH:mm:ss.zzz"));
}
} // namespace

CRotatedLog::CRotatedLog(const QString &logFile, int redundancy)
    : m_logFile(logFile), m_redundancy(redundancy)
{
}

void CRotatedLog::poll()
{
    for (int i = 1; i <= m_redundancy; ++i) {
        const QString name = m_logFile + QLatin1Char('.') + QString::number(i);
        const QByteArray key = statKey(name);
        if (key.isEmpty() || m_lastStat.value(name) == key)
            continue;
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = file.readAll();
        // Record what was read, not what was stat'ed: a rename in between is read again next time.
        if (statKey(name) == key)
            m_lastStat.insert(name, key);
        take(text, true);
    }
}

void CRotatedLog::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    poll();
    QFile live(m_logFile);
    if (live.open(QIODevice::ReadOnly))
        take(live.readAll(), false);
    std::stable_sort(m_pieces.begin(), m_pieces.end(), [](const Piece &a, const Piece &b) {
        return a.firstMs != b.firstMs ? a.firstMs < b.firstMs : a.lastMs < b.lastMs;
    });
}

void CRotatedLog::take(const QByteArray &text, bool rotated)
{
    if (text.isEmpty())
        return;
    const QByteArray hash = QCryptographicHash::hash(text, QCryptographicHash::Sha1);
    if (m_hashes.contains(hash))
        return;
    m_hashes.insert(hash);
    Piece piece;
    piece.text = text;
    piece.rotated = rotated;
    const QStringList lines = splitLines(text);
    for (const QString &line : lines) {
        const qint64 at = TestDaemon::timeOf(line);
        if (at < 0)
            continue;
        if (piece.firstMs < 0)
            piece.firstMs = at;
        piece.lastMs = at;
    }
    m_pieces.append(piece);
    if (rotated)
        ++m_rotated;
}

QStringList CRotatedLog::lines() const
{
    QStringList out;
    for (const Piece &p : m_pieces)
        out += splitLines(p.text);
    return out;
}

QStringList CRotatedLog::continuityProblems() const
{
    QStringList problems;
    for (int i = 0; i < m_pieces.size(); ++i) {
        const Piece &p = m_pieces.at(i);
        if (!p.text.endsWith('\n'))
            problems << QStringLiteral("piece %1 (%2) does not end with a whole line")
                            .arg(i)
                            .arg(stamp(p.firstMs));
        if (i > 0 && m_pieces.at(i - 1).lastMs > p.firstMs)
            problems << QStringLiteral("piece %1 begins at %2, before piece %3 ends at %4")
                            .arg(i)
                            .arg(stamp(p.firstMs))
                            .arg(i - 1)
                            .arg(stamp(m_pieces.at(i - 1).lastMs));
    }
    return problems;
}

qint64 CRotatedLog::smallestRotatedBytes() const
{
    qint64 smallest = -1;
    for (const Piece &p : m_pieces) {
        if (p.rotated && (smallest < 0 || p.text.size() < smallest))
            smallest = p.text.size();
    }
    return smallest;
}
