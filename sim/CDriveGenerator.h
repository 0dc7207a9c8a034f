#ifndef CDRIVEGENERATOR_H
#define CDRIVEGENERATOR_H

#include "CDriveOptions.h"

#include <QByteArray>
#include <QString>

// Turns the options into the NMEA log and its ground truth: drives the
// round, samples it at the output rate, asks the sky for the satellites,
// and writes what the receiver would have sent, leaving out the silent
// parts and blanking the fix in the no-fix parts.
class CDriveGenerator
{
public:
    struct Result {
        QByteArray nmea;  // header comments and sentences
        QByteArray truth; // header comments and one line per epoch sent
        int epochs = 0;   // epochs the receiver sent
        int sentences = 0;
    };

    explicit CDriveGenerator(const CDriveOptions &options);

    // False with a message when the options name no known round.
    bool generate(Result *result, QString *error) const;

    // What to put after "gpsfake -c" so that the log plays in real time:
    // gpsfake sends one sentence per cycle.
    static double realTimeCycle(const Result &result, int rateHz);

private:
    CDriveOptions m_options;
};

#endif // CDRIVEGENERATOR_H
