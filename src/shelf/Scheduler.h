#pragma once

#include <functional>
#include <map>
#include <memory>

namespace motion {
class Animator;
}

/// Where the shelf's delayed work runs (a toast's dismissal): Qt timers in the
/// app, a manual queue in tests, so no test waits for real time to pass.
class Scheduler {
public:
    using Task = std::function<void()>;

    virtual ~Scheduler() = default;
    /// Runs `task` once after `seconds`; returns an id for `cancel`.
    virtual int schedule(double seconds, Task task) = 0;
    /// Drops a pending task; unknown or finished ids are ignored.
    virtual void cancel(int id) = 0;

    /// The process's scheduler, on the main thread's event loop.
    static Scheduler& main();
};

/// A scheduler whose time moves only through `advanceTo`. It can drive a manual
/// animator along, so fades and deadlines share one test clock.
class ManualScheduler final : public Scheduler {
public:
    explicit ManualScheduler(double startSeconds = 0, motion::Animator* animator = nullptr);
    ~ManualScheduler() override;

    int schedule(double seconds, Task task) override;
    void cancel(int id) override;

    /// Moves time to `seconds`, running due tasks in deadline order; the animator
    /// (if any) is advanced to each task's deadline before the task runs.
    void advanceTo(double seconds);
    double now() const { return m_now; }
    int pending() const { return int(m_tasks.size()); }

private:
    double m_now;
    motion::Animator* m_animator;
    int m_nextId = 1;
    std::multimap<double, std::pair<int, Task>> m_tasks;
};
