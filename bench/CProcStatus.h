#ifndef CPROCSTATUS_H
#define CPROCSTATUS_H

#include <QtGlobal>
#include <sys/types.h>

// What /proc tells about one process at one moment. Fields are -1 when the
// process is gone or the entry could not be read.
class CProcStatus
{
public:
    qint64 rssKb = -1;     // VmRSS
    qint64 peakRssKb = -1; // VmHWM
    int threads = -1;      // Threads
    int fds = -1;          // entries of /proc/PID/fd
    qint64 cpuTicks = -1;  // user + system time in clock ticks (/proc/PID/stat)

    // Clock ticks per second of cpuTicks.
    static double ticksPerSecond();

    static CProcStatus read(pid_t pid);
    bool isValid() const { return rssKb >= 0 && threads >= 0 && fds >= 0; }
};

#endif // CPROCSTATUS_H
