#include "app/DelayedWork.h"

#include <QElapsedTimer>
#include <QTimer>
#include <cmath>

DelayedWork::DelayedWork(QObject* parent)
    : QObject(parent) {
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    m_clock = [started] { return double(started->nsecsElapsed()) / 1e9; };
}

DelayedWork::DelayedWork(Clock clock, QObject* parent)
    : QObject(parent)
    , m_clock(std::move(clock))
    , m_manual(true) {}

DelayedWork::~DelayedWork() = default;

void DelayedWork::schedule(int slot, double delay, std::function<void()> task) {
    Task& t = m_tasks[slot];
    t.deadline = m_clock() + std::max(0.0, delay);
    t.order = ++m_order;
    t.run = std::move(task);
    if (m_manual)
        return;
    if (!t.timer) {
        t.timer = std::make_unique<QTimer>();
        t.timer->setSingleShot(true);
        t.timer->setTimerType(Qt::PreciseTimer);
        connect(t.timer.get(), &QTimer::timeout, this, [this, slot] { fire(slot); });
    }
    t.timer->start(int(std::lround(std::max(0.0, delay) * 1000)));
}

void DelayedWork::cancel(int slot) {
    m_tasks.erase(slot);
}

bool DelayedWork::pending(int slot) const {
    return m_tasks.contains(slot);
}

double DelayedWork::deadline(int slot) const {
    const auto it = m_tasks.find(slot);
    return it == m_tasks.end() ? -1 : it->second.deadline;
}

void DelayedWork::fire(int slot) {
    const auto it = m_tasks.find(slot);
    if (it == m_tasks.end())
        return;
    // The task may schedule its own slot again, so it leaves the table first;
    // the timer that called us is deleted later, not under its own signal.
    std::function<void()> run = std::move(it->second.run);
    if (it->second.timer)
        it->second.timer.release()->deleteLater();
    m_tasks.erase(it);
    run();
}

void DelayedWork::runDue() {
    for (;;) {
        const double now = m_clock();
        int due = 0;
        const Task* first = nullptr;
        for (const auto& [slot, task] : m_tasks) {
            if (task.deadline > now + 1e-9)
                continue;
            if (!first || task.deadline < first->deadline ||
                (task.deadline == first->deadline && task.order < first->order)) {
                first = &task;
                due = slot;
            }
        }
        if (!first)
            return;
        fire(due);
    }
}
