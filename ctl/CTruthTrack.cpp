#include "CTruthTrack.h"

#include "logbook/CTracking.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace
{
// utc lat lon alt speed course fix sats hdop phase
constexpr int kColumns = 10;
} // namespace

bool CTruthTrack::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    return read(&file, path, error);
}

bool CTruthTrack::read(QIODevice *device, const QString &name, QString *error)
{
    m_epochs.clear();
    int lineNumber = 0;
    while (!device->atEnd()) {
        const QByteArray line = device->readLine().trimmed();
        ++lineNumber;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split('\t');
        Epoch epoch;
        bool ok[8] = {};
        const QDateTime time = QDateTime::fromString(QString::fromLatin1(fields.value(0)), Qt::ISODateWithMs);
        if (fields.size() == kColumns && time.isValid()) {
            epoch.utcMs = time.toMSecsSinceEpoch();
            epoch.latitude = fields[1].toDouble(&ok[0]);
            epoch.longitude = fields[2].toDouble(&ok[1]);
            epoch.altitude = fields[3].toDouble(&ok[2]);
            epoch.speedKmh = fields[4].toDouble(&ok[3]);
            epoch.courseDeg = fields[5].toDouble(&ok[4]);
            epoch.fix = fields[6].toInt(&ok[5]) != 0;
            epoch.satellites = fields[7].toInt(&ok[6]);
            epoch.hdop = fields[8].toDouble(&ok[7]);
        }
        if (!std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; }) ||
            std::fabs(epoch.latitude) > 90.0 || std::fabs(epoch.longitude) > 180.0) {
            *error = QStringLiteral("%1, line %2: not an epoch of a drive's ground truth (vorlan-nmea-drive "
                                    "--truth writes them)")
                         .arg(name)
                         .arg(lineNumber);
            m_epochs.clear();
            return false;
        }
        m_epochs.append(epoch);
    }
    if (m_epochs.isEmpty()) {
        *error = QStringLiteral("%1: no epochs").arg(name);
        return false;
    }
    return true;
}

double CTruthTrack::lengthMetres() const
{
    double metres = 0.0;
    for (int i = 1; i < m_epochs.size(); ++i)
        metres += CTracking::distanceMetres(m_epochs[i - 1].latitude, m_epochs[i - 1].longitude,
                                            m_epochs[i].latitude, m_epochs[i].longitude);
    return metres;
}
