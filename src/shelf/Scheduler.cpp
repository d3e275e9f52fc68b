#include "shelf/Scheduler.h"

#include "shelf/Motion.h"

#include <QHash>
#include <QPointer>
#include <QTimer>
#include <cmath>

namespace {

// One single-shot QTimer per pending task, deleted when it fires or is cancelled.
class TimerScheduler final : public Scheduler {
public:
    int schedule(double seconds, Task task) override {
        const int id = m_nextId++;
        auto* timer = new QTimer;
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, timer, [this, id, task = std::move(task)] {
            if (QTimer* t = m_timers.take(id))
                t->deleteLater();
            task();
        });
        m_timers.insert(id, timer);
        timer->start(int(std::lround(std::max(0.0, seconds) * 1000)));
        return id;
    }
    void cancel(int id) override {
        if (QTimer* timer = m_timers.take(id)) {
            timer->stop();
            timer->deleteLater();
        }
    }

private:
    int m_nextId = 1;
    QHash<int, QTimer*> m_timers;
};

} // namespace

Scheduler& Scheduler::main() {
    static TimerScheduler* instance = new TimerScheduler; // lives until exit, like the app
    return *instance;
}

ManualScheduler::ManualScheduler(double startSeconds, motion::Animator* animator)
    : m_now(startSeconds)
    , m_animator(animator) {}

ManualScheduler::~ManualScheduler() = default;

int ManualScheduler::schedule(double seconds, Task task) {
    const int id = m_nextId++;
    m_tasks.emplace(m_now + std::max(0.0, seconds), std::make_pair(id, std::move(task)));
    return id;
}

void ManualScheduler::cancel(int id) {
    for (auto it = m_tasks.begin(); it != m_tasks.end(); ++it) {
        if (it->second.first == id) {
            m_tasks.erase(it);
            return;
        }
    }
}

void ManualScheduler::advanceTo(double seconds) {
    // A task may schedule or cancel others, so the queue is re-read after each.
    while (!m_tasks.empty() && m_tasks.begin()->first <= seconds) {
        auto it = m_tasks.begin();
        m_now = std::max(m_now, it->first);
        Task task = std::move(it->second.second);
        m_tasks.erase(it);
        if (m_animator)
            m_animator->advanceTo(m_now);
        task();
    }
    m_now = std::max(m_now, seconds);
    if (m_animator)
        m_animator->advanceTo(m_now);
}
