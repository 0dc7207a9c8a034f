#ifndef CRANDOM_H
#define CRANDOM_H

#include <QtGlobal>

// Seeded pseudo-random numbers that come out the same on every platform and
// Qt version: the drive must be byte-identical for the same options, which
// std:: distributions and QRandomGenerator::bounded() do not promise.
class CRandom
{
public:
    explicit CRandom(quint64 seed);
    // Independent stream for one purpose, so that adding draws in one place
    // does not shift the numbers of another.
    CRandom(quint64 seed, quint64 stream);

    quint64 next();
    // Uniform in [0, 1).
    double uniform();
    double uniform(double low, double high);
    // Standard normal (Box-Muller, no cached second value).
    double normal();

    // Stateless hash of a key to [0, 1): noise that depends only on what it
    // describes (satellite, second), not on how often it was asked for.
    static double hashUniform(quint64 seed, quint64 a, quint64 b);

private:
    static quint64 mix(quint64 value);

    quint64 m_state;
};

#endif // CRANDOM_H
