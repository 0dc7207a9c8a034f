#include "CDriveGenerator.h"

#include "CDriveRoute.h"
#include "CDriveSimulator.h"
#include "CGpxTrack.h"
#include "CNmeaFix.h"
#include "CNmeaWriter.h"
#include "CReceiverProfile.h"
#include "CSkyModel.h"

#include <memory>

namespace
{
const qint64 MsPerSecond = 1000;
const char Program[] = "vorlan-nmea-drive";

class SimulatedRound : public CDriveMotion
{
public:
    SimulatedRound(const CDriveRoute &route, quint64 seed) : m_simulator(route, seed) {}
    const CDriveSimulator::State &state() const override { return m_simulator.state(); }
    bool finished() const override { return m_simulator.finished(); }
    void step() override { m_simulator.step(); }

private:
    CDriveSimulator m_simulator;
};
} // namespace

CDriveGenerator::CDriveGenerator(const CDriveOptions &options) : m_options(options) {}

double CDriveGenerator::realTimeCycle(const Result &result, int rateHz)
{
    if (result.sentences == 0 || rateHz <= 0)
        return 0.0;
    return double(result.epochs) / rateHz / result.sentences;
}

bool CDriveGenerator::generate(Result *result, QString *error) const
{
    CDriveOptions options = m_options;
    std::unique_ptr<CDriveMotion> motion;
    double originLatDeg = 0.0;
    double originLonDeg = 0.0;
    if (!options.gpxPath.isEmpty()) {
        auto track = std::make_unique<CGpxTrack>();
        if (!track->load(options.gpxPath, error))
            return false;
        if (!options.startGiven)
            options.startUtcMs = track->startUtcMs();
        options.noFix += track->noFixWindows();
        originLatDeg = track->points().first().latDeg;
        originLonDeg = track->points().first().lonDeg;
        motion = std::move(track);
    } else {
        CDriveRoute route;
        if (!CDriveRoute::create(m_options.route, m_options.seed, &route)) {
            *error = QStringLiteral("unknown route \"%1\"").arg(m_options.route);
            return false;
        }
        originLatDeg = route.depotLatDeg();
        originLonDeg = route.depotLonDeg();
        motion = std::make_unique<SimulatedRound>(route, m_options.seed);
    }
    const CReceiverProfile *profile = CReceiverProfile::find(m_options.profile);
    if (!profile) {
        *error = QStringLiteral("unknown receiver profile \"%1\"").arg(m_options.profile);
        return false;
    }
    CDriveMotion &simulator = *motion;
    const CSkyModel skyModel(originLatDeg, originLonDeg, m_options.seed, profile->systems);
    const qint64 periodMs = MsPerSecond / m_options.rateHz;

    QByteArray body, truth;
    *result = Result();
    for (;;) {
        const CDriveSimulator::State &state = simulator.state();
        const qint64 t = state.timeMs;
        if (simulator.finished() || (m_options.durationMs >= 0 && t >= m_options.durationMs))
            break;
        if (t >= m_options.skipMs && t % periodMs == 0 && !m_options.inSilence(t)) {
            const bool valid = !options.inNoFix(t);
            // A receiver that has lost its fix (tunnel, covered antenna)
            // tracks no satellites either.
            const CSkyModel::Sky sky =
                valid ? skyModel.at(t, state.headingRad, state.phase) : CSkyModel::Sky();
            const CNmeaFix fix = CNmeaFix::fromState(
                options.startUtcMs + t - m_options.skipMs + m_options.clockOffsetMs, state, sky, valid);
            const QByteArray sentences =
                CNmeaWriter::epoch(fix, *profile, m_options.sentences, t % MsPerSecond == 0);
            body += sentences;
            truth += fix.truthLine();
            result->sentences += sentences.count('\n');
            ++result->epochs;
        }
        simulator.step();
    }

    // gpsfake drops '#' comment lines; none of these may hold the words it
    // reads settings from (serial parameters, transport, delay, date).
    const QByteArray commandLine = options.commandLine().toLatin1();
    result->nmea = QByteArray("# ") + Program + " NMEA 0183 drive of a tank truck\r\n";
    result->nmea += "# options: " + commandLine + "\r\n";
    result->nmea += "# " + QByteArray::number(result->epochs) + " epochs, " +
                    QByteArray::number(result->sentences) +
                    " sentences; gpsfake sends one sentence per cycle, real time with -c " +
                    QByteArray::number(realTimeCycle(*result, m_options.rateHz), 'f', 4) + "\r\n";
    result->nmea += body;

    result->truth = QByteArray("# ") + Program + " ground truth, options: " + commandLine + "\n";
    result->truth +=
        "# values as the sentences carry them; times are the receiver's (with the clock offset); "
        "fix 0: not reported, position is where the truck was; silent epochs left out\n";
    result->truth += CNmeaFix::truthHeader();
    result->truth += truth;
    return true;
}
