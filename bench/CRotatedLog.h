#ifndef CROTATEDLOG_H
#define CROTATEDLOG_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Collects everything the daemon wrote to its size-rotated log file. The
// daemon keeps only "Logfile_Redundancy" numbered copies, so the copies are
// looked at often (poll()) and every rotated file seen is kept; at the end
// the pieces are put in order and the live file is added. A rotated file
// appears under its number whole (the copy is written aside and renamed),
// and the same text moves up through the numbers, so pieces are told apart
// by their text.
class CRotatedLog
{
public:
    struct Piece {
        QByteArray text;
        qint64 firstMs = -1; // time of the first and last line
        qint64 lastMs = -1;
        bool rotated = true; // false for the live file
    };

    CRotatedLog(const QString &logFile, int redundancy);

    // Takes in the copies that changed since the last poll.
    void poll();
    // Adds the live file and puts the pieces in order; call once, at the end.
    void finish();

    // Rotated files seen (without the live file).
    int rotations() const { return m_rotated; }
    const QList<Piece> &pieces() const { return m_pieces; }
    // Every line of every piece, in order.
    QStringList lines() const;
    // Pieces follow each other in time without overlap; the problems found otherwise.
    QStringList continuityProblems() const;
    // The smallest rotated piece in bytes (-1 for none): each must have grown
    // past the size limit, or a part of it was lost.
    qint64 smallestRotatedBytes() const;

private:
    void take(const QByteArray &text, bool rotated);

    QString m_logFile;
    int m_redundancy;
    QHash<QString, QByteArray> m_lastStat; // copy name -> inode, size and time seen
    QSet<QByteArray> m_hashes;
    QList<Piece> m_pieces;
    int m_rotated = 0;
    bool m_finished = false;
};

#endif // CROTATEDLOG_H
