// Entry point of the GPS daemon: install the log handler, detach from the
// terminal, run the main object's event loop, and leave with _exit so that no
// exit handler of the libraries runs after the main object is gone.

#include "CGpsProg.h"
#include "logging/CLogStream.h"
#include "logging/CMessageHandler.h"

#include <QCoreApplication>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char kSource[] = "main";

// Closed standard descriptors would be handed out again by the next open();
// park them on /dev/null so no socket or file of the daemon can land there.
void parkStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        const int nullFd = ::open("/dev/null", O_RDWR);
        if (nullFd >= 0 && nullFd != fd) {
            ::dup2(nullFd, fd);
            ::close(nullFd);
        }
    }
}
} // namespace

int main(int argc, char *argv[])
{
    CMessageHandler::install();
    CLogStream(QtWarningMsg, kSource, 98) << "starting the daemonizing process";

    const pid_t pid = fork();
    if (pid < 0)
        return 1;
    if (pid > 0) {
        CLogStream(QtWarningMsg, kSource, 110) << "exit the parent process";
        _exit(0);
    }

    CLogStream(QtDebugMsg, kSource, 113) << "Change the file mode mask";
    umask(0);

    if (setsid() < 0) {
        CLogStream(QtWarningMsg, kSource, 123) << "Failed creating a new SID for the child process";
        _exit(1);
    }
    if (chdir("/") < 0) {
        CLogStream(QtWarningMsg, kSource, 131) << "Failed changeing the current working directory";
        _exit(1);
    }

    CLogStream(QtDebugMsg, kSource, 135) << "Close out the standard file descriptors ";
    CMessageHandler::standardStreamsClosed();
    close(STDIN_FILENO);
    close(STDOUT_FILENO);
    close(STDERR_FILENO);
    parkStandardDescriptors();

    // Deliberately never destroyed: the process ends with _exit below.
    auto *app = new QCoreApplication(argc, argv);
    auto *prog = new CGpsProg(app);
    const int result = app->exec();
    delete prog;
    _exit(result);
}
