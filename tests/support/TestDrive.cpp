#include "TestDrive.h"

#include <QFile>
#include <QProcess>

namespace
{
constexpr int kGeneratorTimeoutMs = 30000;
} // namespace

QString TestDrive::generator()
{
    return QStringLiteral(VORLAN_BINARY_DIR "/sim/vorlan-nmea-drive");
}

bool TestDrive::generate(const QStringList &arguments, int first, int last)
{
    m_epochs.clear();
    const QString nmeaPath = m_dir.filePath(QStringLiteral("drive.nmea"));
    const QString truthPath = truthFile();
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(generator(),
              arguments + QStringList{QStringLiteral("-o"), nmeaPath, QStringLiteral("--truth"), truthPath});
    if (!run.waitForFinished(kGeneratorTimeoutMs) || run.exitCode() != 0) {
        m_error = QStringLiteral("generator failed: ") + QString::fromLocal8Bit(run.readAll());
        return false;
    }
    CTruthTrack truth;
    QFile nmea(nmeaPath);
    if (!truth.load(truthPath, &m_error) || !nmea.open(QIODevice::ReadOnly))
        return false;
    QList<Epoch> all;
    for (const CTruthTrack::Epoch &e : truth.epochs())
        all.append({e, {}});
    // Each epoch's sentences begin with its RMC (the generator's fixed order).
    int epoch = -1;
    const QList<QByteArray> sentences = nmea.readAll().split('\n');
    for (const QByteArray &raw : sentences) {
        const QByteArray s = raw.trimmed();
        if (!s.startsWith('$'))
            continue;
        if (s.mid(3, 3) == "RMC")
            ++epoch;
        if (epoch < 0 || epoch >= all.size()) {
            m_error = QStringLiteral("NMEA and truth disagree at epoch %1").arg(epoch);
            return false;
        }
        all[epoch].sentences << s;
    }
    if (epoch + 1 != all.size() || first < 0 || last > all.size() || first >= last) {
        m_error = QStringLiteral("%1 epochs of NMEA, %2 of truth, %3..%4 wanted")
                      .arg(epoch + 1)
                      .arg(all.size())
                      .arg(first)
                      .arg(last);
        return false;
    }
    m_epochs = all.mid(first, last - first);
    return true;
}

void TestDrive::edit(const std::function<QByteArray(const QByteArray &)> &change)
{
    for (Epoch &e : m_epochs)
        for (QByteArray &s : e.sentences)
            s = change(s);
}

bool TestDrive::write(const QString &path, int from, int to, bool append) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | (append ? QIODevice::Append : QIODevice::Truncate)))
        return false;
    const int end = to < 0 ? int(m_epochs.size()) : to;
    for (int i = from; i < end; ++i)
        for (const QByteArray &s : m_epochs.at(i).sentences)
            file.write(s + "\r\n");
    return file.flush();
}

int TestDrive::indexAt(qint64 utcMs) const
{
    for (int i = 0; i < m_epochs.size(); ++i)
        if (m_epochs.at(i).utcMs == utcMs)
            return i;
    return -1;
}
