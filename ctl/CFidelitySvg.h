#ifndef CFIDELITYSVG_H
#define CFIDELITYSVG_H

#include "CTrackFidelity.h"

#include <QString>
#include <QVector>

class QIODevice;

// Small multiples of tracking setups over one drive: a panel per setup
// with the true route in grey under the stored track (line and dots), all
// panels at one scale so they compare at a glance.
class CFidelitySvg
{
public:
    struct Panel {
        QString title;   // the setup
        QString caption; // its figures
        QVector<CTrackFidelity::Position> stored;
    };

    CFidelitySvg() = delete;
    // False when the device reports a write error.
    static bool write(const QString &heading, const QVector<CTrackFidelity::Position> &truth,
                      const QVector<Panel> &panels, QIODevice *device);
};

#endif // CFIDELITYSVG_H
