#ifndef THREAD_H
#define THREAD_H

#include <QThread>
#include <atomic>

// Heartbeat after process start: sigTrigger every 800 ms from "/" on a
// session-bus connection of its own, so a busy event loop (blocking calls on
// the central data service) never silences the daemon's sign of life.
class Thread : public QThread
{
public:
    explicit Thread(int ownProcess);
    ~Thread() override;

    // Shared with the main object without a lock; a late view costs at most
    // one more second of waiting at shutdown.
    std::atomic<bool> stopRequest{false};
    std::atomic<bool> running{false};

protected:
    void run() override;

private:
    int m_ownProcess;
};

#endif // THREAD_H
