#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <memory>

class QTimer;

/// The application shell's delayed main-thread tasks, one slot per purpose.
/// Scheduling a slot again replaces what waited there, which is what makes a
/// debounce. The real instance keeps one precise single-shot timer per slot;
/// a manual one reads the clock it was given and runs due tasks only from
/// runDue(), so tests step time exactly.
class DelayedWork : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<double()>;

    explicit DelayedWork(QObject* parent = nullptr);
    /// A manual instance on `clock` (seconds).
    explicit DelayedWork(Clock clock, QObject* parent = nullptr);
    ~DelayedWork() override;

    void schedule(int slot, double delay, std::function<void()> task);
    void cancel(int slot);
    bool pending(int slot) const;
    /// The deadline of a pending slot on the clock, or a negative number.
    double deadline(int slot) const;
    /// Runs every task whose deadline has come, earliest first; tasks they
    /// schedule run too when already due.
    void runDue();

private:
    struct Task {
        double deadline = 0;
        quint64 order = 0;
        std::function<void()> run;
        std::unique_ptr<QTimer> timer; // real instances only
    };
    void fire(int slot);

    Clock m_clock;
    bool m_manual = false;
    std::map<int, Task> m_tasks;
    quint64 m_order = 0;
};
