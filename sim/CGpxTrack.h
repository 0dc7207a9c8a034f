#ifndef CGPXTRACK_H
#define CGPXTRACK_H

#include "CDriveMotion.h"
#include "CDriveOptions.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

class QIODevice;

// A recorded drive from a GPX file's track points, moved through in the
// simulator's 100 ms steps: the position is interpolated along the straight
// line between two track points, speed and heading are those of that line.
// The drive starts at the first whole second of the track, so epochs at any
// rate fall on the same instants as in a generated drive. Between two
// track segments the logger had no fix: the receiver reports none there.
class CGpxTrack : public CDriveMotion
{
public:
    struct Point {
        qint64 utcMs = 0;
        double latDeg = 0.0;
        double lonDeg = 0.0;
        double altitudeM = 0.0;
        int line = 0;              // in the file, for messages
        bool segmentStart = false; // first point of a <trkseg> after another
    };

    // A logger's jump faster than this between two track points is taken
    // for a broken file, not for a drive.
    static constexpr double MaxSpeedKmh = 250.0;
    // At or above this speed the sky is open (highway); below it the
    // street's buildings hide low satellites.
    static constexpr double HighwayFromKmh = 65.0;

    // Reads and checks the track points of every track and segment in file
    // order. False with a message naming the file (and line) on broken XML,
    // a point without time or position, fewer than two points, time that
    // does not go forward, or a jump above MaxSpeedKmh.
    bool load(const QString &path, QString *error);
    bool read(QIODevice *device, const QString &name, QString *error);

    const QVector<Point> &points() const { return m_points; }
    // UTC of the drive's time 0.
    qint64 startUtcMs() const { return m_startUtcMs; }
    // The times between segments, in ms of the drive.
    QVector<CDriveOptions::Window> noFixWindows() const;

    const CDriveSimulator::State &state() const override { return m_state; }
    bool finished() const override;
    void step() override;

private:
    void place();

    QVector<Point> m_points;
    qint64 m_startUtcMs = 0;
    int m_segment = 0; // the drive is between points m_segment and m_segment + 1
    CDriveSimulator::State m_state;
};

#endif // CGPXTRACK_H
