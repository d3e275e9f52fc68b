#include "panel/Deadlines.h"

#include <QElapsedTimer>
#include <cmath>
#include <memory>

Deadlines::Deadlines(QObject* parent)
    : QObject(parent) {
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_clock = [timer] { return double(timer->nsecsElapsed()) / 1e9; };
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Deadlines::runDue);
}

Deadlines::Deadlines(Clock clock, QObject* parent)
    : QObject(parent)
    , m_clock(std::move(clock))
    , m_manual(true) {}

void Deadlines::schedule(int slot, double delay, std::function<void()> task) {
    m_tasks[slot] = Task{now() + delay, m_order++, std::move(task)};
    arm();
}

void Deadlines::cancel(int slot) {
    if (m_tasks.erase(slot))
        arm();
}

double Deadlines::next() const {
    double best = -1;
    for (const auto& [slot, task] : m_tasks)
        if (best < 0 || task.deadline < best)
            best = task.deadline;
    return best;
}

void Deadlines::runDue() {
    for (;;) {
        const double t = now();
        auto due = m_tasks.end();
        for (auto it = m_tasks.begin(); it != m_tasks.end(); ++it) {
            if (it->second.deadline > t)
                continue;
            if (due == m_tasks.end() || it->second.deadline < due->second.deadline ||
                (it->second.deadline == due->second.deadline &&
                 it->second.order < due->second.order))
                due = it;
        }
        if (due == m_tasks.end())
            break;
        // The task leaves its slot before it runs so it may schedule the slot again.
        std::function<void()> run = std::move(due->second.run);
        m_tasks.erase(due);
        run();
    }
    arm();
}

void Deadlines::arm() {
    if (m_manual)
        return;
    const double deadline = next();
    if (deadline < 0) {
        m_timer.stop();
        return;
    }
    const double wait = std::max(0.0, deadline - now());
    m_timer.start(int(std::ceil(wait * 1000)));
}
