#ifndef CGPXWRITER_H
#define CGPXWRITER_H

class CTrack;
class QIODevice;

// The track as GPX 1.1: one <trk>, one <trkseg> per continuous stretch, each
// point with position, elevation, UTC time (when the fix has one),
// satellites and HDOP. Speed (km/h) and course (degrees) are no GPX 1.1
// elements; they go into <extensions> in the namespace kNamespace.
class CGpxWriter
{
public:
    static const char *const kGpxNamespace;
    static const char *const kNamespace;

    CGpxWriter() = delete;
    // False when the device reports a write error.
    static bool write(const CTrack &track, QIODevice *device);
};

#endif // CGPXWRITER_H
