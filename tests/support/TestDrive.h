#ifndef TESTDRIVE_H
#define TESTDRIVE_H

#include "CTruthTrack.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

// A stretch of a generated delivery drive (vorlan-nmea-drive) with its ground
// truth: the NMEA sentences of each epoch and what the receiver reported in it.
class TestDrive
{
public:
    // The generator's ground truth of the epoch and its sentences.
    struct Epoch : CTruthTrack::Epoch {
        QList<QByteArray> sentences;
    };

    static QString generator();

    // Runs the generator with arguments (its options) and keeps the epochs
    // first..last-1 of the round (one epoch per second at the default rate).
    bool generate(const QStringList &arguments, int first, int last);
    // Rewrites every sentence, as a receiver set up otherwise would send it.
    void edit(const std::function<QByteArray(const QByteArray &)> &change);
    // Writes the sentences of epochs [from, to) for gpsfake; to < 0: to the end.
    bool write(const QString &path, int from = 0, int to = -1, bool append = false) const;

    int sentencesPerEpoch() const { return m_epochs.isEmpty() ? 0 : int(m_epochs.first().sentences.size()); }
    // gpsfake cycle (s per sentence) that plays one epoch in epochSec.
    double cycleFor(double epochSec) const { return epochSec / sentencesPerEpoch(); }

    const QList<Epoch> &epochs() const { return m_epochs; }
    // Epoch with this receiver time, or -1.
    int indexAt(qint64 utcMs) const;
    QString error() const { return m_error; }
    // The generator's ground truth of the whole round, as it wrote it.
    QString truthFile() const { return m_dir.filePath(QStringLiteral("drive.truth")); }

private:
    QTemporaryDir m_dir;
    QList<Epoch> m_epochs;
    QString m_error;
};

#endif // TESTDRIVE_H
