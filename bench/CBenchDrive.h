#ifndef CBENCHDRIVE_H
#define CBENCHDRIVE_H

#include <QString>
#include <QStringList>

// A gpsfake log of a generated drive (vorlan-nmea-drive) of any length. The
// delivery round lasts about 36 minutes; longer drives are made of rounds
// one after the other, each starting where the time of the last one ended,
// so the receiver's clock only goes forward.
class CBenchDrive
{
public:
    CBenchDrive() = default;

    // At least `epochs` epochs at rateHz (1, 5 or 10); extra generator
    // options (e.g. --sentences) apply to every round.
    bool generate(const QString &path, int rateHz, int epochs, const QStringList &extra = {});

    int epochs() const { return m_epochs; }
    int sentences() const { return m_sentences; }
    // gpsfake's cycle (s per sentence) that plays one epoch in epochSec.
    double cycleFor(double epochSec) const;
    QString error() const { return m_error; }

private:
    int m_epochs = 0;
    int m_sentences = 0;
    QString m_error;
};

#endif // CBENCHDRIVE_H
