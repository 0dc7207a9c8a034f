#include "CRandom.h"

#include <cmath>

namespace
{
const quint64 GoldenGamma = 0x9e3779b97f4a7c15ULL;
const double TwoPi = 6.283185307179586;
const double TwoPowMinus53 = 1.0 / 9007199254740992.0;
} // namespace

CRandom::CRandom(quint64 seed) : m_state(seed) {}

CRandom::CRandom(quint64 seed, quint64 stream) : m_state(mix(seed ^ mix(stream + GoldenGamma))) {}

quint64 CRandom::mix(quint64 value)
{
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
    return value ^ (value >> 31);
}

quint64 CRandom::next()
{
    m_state += GoldenGamma;
    return mix(m_state);
}

double CRandom::uniform()
{
    return double(next() >> 11) * TwoPowMinus53;
}

double CRandom::uniform(double low, double high)
{
    return low + (high - low) * uniform();
}

double CRandom::normal()
{
    // 1 - uniform() lies in (0, 1], so the logarithm stays finite.
    const double u1 = 1.0 - uniform();
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(TwoPi * u2);
}

double CRandom::hashUniform(quint64 seed, quint64 a, quint64 b)
{
    const quint64 h = mix(mix(seed + GoldenGamma) ^ mix(a + 2 * GoldenGamma) ^ mix(b + 3 * GoldenGamma));
    return double(h >> 11) * TwoPowMinus53;
}
