#include "CBenchDrive.h"

#include "../tests/support/TestDrive.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace
{
// Rounds are cut below the length of the delivery round (2170 s).
constexpr int kRoundSeconds = 2000;
constexpr int kGeneratorTimeoutMs = 120000;
const char kFirstEpoch[] = "2026-03-02T06:00:00Z";
} // namespace

bool CBenchDrive::generate(const QString &path, int rateHz, int epochs, const QStringList &extra)
{
    m_epochs = 0;
    m_sentences = 0;
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("cannot write ") + path;
        return false;
    }
    QTemporaryDir dir;
    const QString part = dir.filePath(QStringLiteral("round.nmea"));
    const QDateTime first = QDateTime::fromString(QLatin1String(kFirstEpoch), Qt::ISODate);
    // "# 21694 epochs, 93286 sentences; ..."
    const QRegularExpression counts(QStringLiteral("^# (\\d+) epochs, (\\d+) sentences"),
                                    QRegularExpression::MultilineOption);
    for (int round = 0; m_epochs < epochs; ++round) {
        const int seconds = qMin(kRoundSeconds, (epochs - m_epochs) / rateHz + 1);
        const QString start = first.addSecs(qint64(round) * kRoundSeconds)
                                  .toUTC()
                                  .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
        QProcess generator;
        generator.setProcessChannelMode(QProcess::MergedChannels);
        generator.start(TestDrive::generator(),
                        QStringList{QStringLiteral("--rate"), QString::number(rateHz),
                                    QStringLiteral("--start"), start, QStringLiteral("--duration"),
                                    QString::number(seconds), QStringLiteral("-o"), part} +
                            extra);
        if (!generator.waitForFinished(kGeneratorTimeoutMs) || generator.exitCode() != 0) {
            m_error = QStringLiteral("generator failed: ") + QString::fromLocal8Bit(generator.readAll());
            return false;
        }
        QFile in(part);
        if (!in.open(QIODevice::ReadOnly)) {
            m_error = QStringLiteral("generator wrote nothing");
            return false;
        }
        const QByteArray text = in.readAll();
        const QRegularExpressionMatch m = counts.match(QString::fromLatin1(text.left(1024)));
        if (!m.hasMatch() || m.captured(1).toInt() <= 0) {
            m_error = QStringLiteral("generator output has no epoch count");
            return false;
        }
        m_epochs += m.captured(1).toInt();
        m_sentences += m.captured(2).toInt();
        out.write(text);
    }
    return out.flush();
}

double CBenchDrive::cycleFor(double epochSec) const
{
    return m_sentences > 0 ? epochSec * m_epochs / m_sentences : epochSec;
}
