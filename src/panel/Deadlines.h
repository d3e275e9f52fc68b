#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>

/// Cancellable delayed tasks, one slot per purpose, all on one timer ordered
/// by deadline. Scheduling a slot again replaces its pending task (debounce).
/// Time comes from the clock given; a manual instance has no timer and runs
/// its due tasks only when told, so tests step time exactly.
class Deadlines : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<double()>;

    /// A real instance on the monotonic clock with a precise single-shot timer.
    explicit Deadlines(QObject* parent = nullptr);
    /// A manual instance reading `clock`; tasks run only from runDue().
    explicit Deadlines(Clock clock, QObject* parent = nullptr);

    /// Runs `task` `delay` seconds from now under `slot`, replacing what waited there.
    void schedule(int slot, double delay, std::function<void()> task);
    void cancel(int slot);
    bool pending(int slot) const { return m_tasks.contains(slot); }
    /// The deadline of the earliest pending task, or a negative number.
    double next() const;
    /// Seconds on this instance's clock.
    double now() const { return m_clock(); }

    /// Runs every task whose deadline has come, earliest first (tasks that
    /// schedule new due tasks see them run too).
    void runDue();

private:
    struct Task {
        double deadline;
        quint64 order;
        std::function<void()> run;
    };
    void arm();

    Clock m_clock;
    bool m_manual = false;
    std::map<int, Task> m_tasks;
    quint64 m_order = 0;
    QTimer m_timer;
};
