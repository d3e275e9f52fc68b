#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QThread;

/// The threads that read text out of images: each keeps its own engine and
/// runs at idle scheduling priority, so recognition only takes time nothing
/// else wants. Threads start on first use and stay; jobs are handed out by
/// the owner on the main thread, one per free thread.
class RecognitionPool : public QObject {
    Q_OBJECT
public:
    /// Work run on a worker; returns what then runs on the main thread.
    using Job = std::function<std::function<void()>()>;

    explicit RecognitionPool(QObject* parent = nullptr);
    /// Cancels and waits for the running jobs.
    ~RecognitionPool() override;

    /// How many threads may read at once for `pending` waiting files on a
    /// machine of `cores` cores: one for a handful (new arrivals), else one
    /// per core but one, at least one. With the idle scheduling class every
    /// core may read: such a thread runs only when a core would idle. While
    /// the roll is on screen (`foreground`) one core is left to it all the same.
    static int threadsFor(qsizetype pending, int cores, bool idleClass, bool foreground = false);
    /// A handful: more waiting files than this start the other threads.
    static constexpr qsizetype handful = 4;

    /// Sets how many threads read a backlog, whatever the machine (tests,
    /// benchmarks); 0: the machine's share.
    void setLimit(int limit) { m_limit = limit; }
    /// Whether threads started from now on take the idle priority (the
    /// default). Benchmarks on a shared machine turn it off to measure what
    /// an otherwise idle machine gives.
    void setIdlePriority(bool idle) { m_idle = idle; }
    /// Whether the roll is on screen: see threadsFor().
    void setForeground(bool on) { m_foreground = on; }
    bool foreground() const { return m_foreground; }
    /// The threads allowed now for `pending` waiting files.
    int allowed(qsizetype pending) const;
    /// Jobs running now.
    int busy() const { return m_busy; }
    /// Runs `job` on a free thread among the first `allowed` ones; false when
    /// none is free or the pool was shut down.
    bool run(int allowed, Job job);

    /// Stops taking jobs, tells the running ones to stop early and waits at
    /// most `waitMs` (negative: as long as it takes) for every thread to end.
    /// True when all ended; the main-thread parts of unfinished jobs never run.
    bool shutdown(int waitMs);
    bool isShutDown() const { return m_shutDown; }
    /// Whether a worker got the idle scheduling class (else it runs at nice 19).
    static bool idleClassGranted();

private:
    struct Worker {
        QThread* thread = nullptr;
        QObject* context = nullptr; // lives on `thread`
        bool busy = false;
        std::atomic<int> tid{0}; // set by the thread once its priority is lowered
    };
    Worker& start(size_t index);

    std::vector<std::unique_ptr<Worker>> m_workers;
    int m_busy = 0;
    int m_limit = 0;
    bool m_foreground = false;
    bool m_idle = true;
    bool m_shutDown = false;
    // Read by the engines while they recognise; set once, at shutdown.
    std::shared_ptr<std::atomic<bool>> m_cancel = std::make_shared<std::atomic<bool>>(false);
};
