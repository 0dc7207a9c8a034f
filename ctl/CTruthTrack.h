#ifndef CTRUTHTRACK_H
#define CTRUTHTRACK_H

#include <QString>
#include <QVector>
#include <QtGlobal>

class QIODevice;

// The ground truth of a generated drive (vorlan-nmea-drive --truth): one
// tab-separated line per epoch with UTC, position, speed, course, whether
// the receiver reported a fix, satellites and HDOP. The true route and the
// fixes the receiver sent, for comparing with what the daemon stored.
class CTruthTrack
{
public:
    struct Epoch {
        qint64 utcMs = 0;
        double latitude = 0.0; // degrees
        double longitude = 0.0;
        double altitude = 0.0; // m
        double speedKmh = 0.0;
        double courseDeg = 0.0;
        bool fix = false; // the receiver reported it
        int satellites = 0;
        double hdop = 0.0;
    };

    // False with a message naming the file and line on the first line that
    // is no epoch, or when the file holds none.
    bool load(const QString &path, QString *error);
    bool read(QIODevice *device, const QString &name, QString *error);

    const QVector<Epoch> &epochs() const { return m_epochs; }
    // Length of the true route in metres (great circle between epochs).
    double lengthMetres() const;

private:
    QVector<Epoch> m_epochs;
};

#endif // CTRUTHTRACK_H
