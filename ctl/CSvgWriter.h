#ifndef CSVGWRITER_H
#define CSVGWRITER_H

class CTrack;
class CTruthTrack;
class QIODevice;

// The track as a picture for people: the route coloured by speed with its
// legend, every stored track point as a dot (class "point"), the GPS events
// as labelled markers (class "event") at the track point nearest in time, a
// scale bar, a north arrow and the time span (GPS time, UTC); with a drive's
// ground truth, its true route in grey beneath. North is up;
// longitudes are
// scaled by the cosine of the middle latitude (equirectangular), which keeps
// distances true to a few per mille over a truck's day.
class CSvgWriter
{
public:
    CSvgWriter() = delete;
    // False when the device reports a write error.
    static bool write(const CTrack &track, QIODevice *device, const CTruthTrack *truth = nullptr);
};

#endif // CSVGWRITER_H
