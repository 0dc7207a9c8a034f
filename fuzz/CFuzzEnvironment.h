#ifndef CFUZZENVIRONMENT_H
#define CFUZZENVIRONMENT_H

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstddef>
#include <cstdint>

// What every fuzz target sets up once: a fixed time zone with daylight
// saving (the records and the GPS time depend on the process's zone), a
// message handler that drops the log lines the code under test writes (they
// would only slow the fuzzer down and bury its report), and a private
// scratch directory for targets that must hand their input over as a file.
class CFuzzEnvironment
{
public:
    // The board's zone; its summer time exercises the daylight-saving paths.
    static constexpr const char *kTimeZone = "Europe/Berlin";

    static void setUp();
    // A directory that exists for the life of the process and is removed at exit.
    static QString scratchDir();
    // Writes bytes to path (replacing it), with the given modification time
    // if it is valid; aborts when that fails, since the target would
    // otherwise test nothing.
    static void writeFile(const QString &path, const QByteArray &bytes,
                          const QDateTime &modified = QDateTime());
    // The fuzzer's bytes as a QByteArray; QByteArray sizes are int.
    static QByteArray toByteArray(const uint8_t *data, size_t size);
};

// A broken invariant is a finding: abort, so that libFuzzer saves the input
// and the replay test fails.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            CFuzzEnvironmentFail(#condition, __FILE__, __LINE__);                                            \
    } while (false)

[[noreturn]] void CFuzzEnvironmentFail(const char *condition, const char *file, int line);

#endif // CFUZZENVIRONMENT_H
