#include "content/RecognitionPool.h"

#include "platform/Log.h"
#include "platform/TextRecognizer.h"

#include <QDeadlineTimer>
#include <QThread>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_idleClass{false};

// Recognition takes only time that nothing else wants: the idle class where
// the kernel grants it, else the lowest nice value (Linux keeps it per thread).
void lowerThreadPriority(std::atomic<int>* tidOut) {
    tidOut->store(int(::syscall(SYS_gettid)));
    sched_param param{};
    if (::pthread_setschedparam(::pthread_self(), SCHED_IDLE, &param) == 0) {
        g_idleClass.store(true);
        return;
    }
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    if (::setpriority(PRIO_PROCESS, tid, 19) != 0)
        qCDebug(lcTamberk) << "text recognition: could not lower a worker's priority";
}

} // namespace

RecognitionPool::RecognitionPool(QObject* parent)
    : QObject(parent) {}

RecognitionPool::~RecognitionPool() {
    shutdown(-1);
}

int RecognitionPool::threadsFor(qsizetype pending, int cores, bool idleClass, bool foreground) {
    if (pending <= handful)
        return 1;
    // An idle-class reader still delays a frame by the time the kernel takes
    // to hand its core back; frames never wait for a free core.
    return std::max(1, idleClass && !foreground ? cores : cores - 1);
}

bool RecognitionPool::idleClassGranted() {
    return g_idleClass.load();
}

int RecognitionPool::allowed(qsizetype pending) const {
    if (m_limit > 0)
        return pending <= handful ? 1 : m_limit;
    return threadsFor(pending, QThread::idealThreadCount(), idleClassGranted(), m_foreground);
}

RecognitionPool::Worker& RecognitionPool::start(size_t index) {
    while (m_workers.size() <= index) {
        auto worker = std::make_unique<Worker>();
        worker->thread = new QThread(this);
        worker->thread->setObjectName(QStringLiteral("tamberk.ocr.%1").arg(m_workers.size()));
        worker->context = new QObject;
        worker->context->moveToThread(worker->thread);
        worker->thread->start();
        QMetaObject::invokeMethod(
            worker->context,
            [cancel = m_cancel, idle = m_idle, tid = &worker->tid] {
                if (idle)
                    lowerThreadPriority(tid);
                TextRecognizer::setThreadCancel(cancel.get());
            },
            Qt::QueuedConnection);
        m_workers.push_back(std::move(worker));
    }
    return *m_workers[index];
}

bool RecognitionPool::run(int allowed, Job job) {
    if (m_shutDown)
        return false;
    for (size_t i = 0; i < size_t(std::max(allowed, 1)); ++i) {
        Worker& worker = start(i);
        if (worker.busy)
            continue;
        worker.busy = true;
        ++m_busy;
        // `this` receives the result; the destructor waits for the threads,
        // so it outlives every job. Nothing of the pool is touched off the
        // main thread.
        QMetaObject::invokeMethod(
            worker.context,
            [this, i, job = std::move(job), cancel = m_cancel] {
                if (cancel->load())
                    return;
                std::function<void()> then = job();
                QMetaObject::invokeMethod(
                    this,
                    [this, i, then = std::move(then)] {
                        if (m_shutDown)
                            return;
                        m_workers[i]->busy = false;
                        --m_busy;
                        if (then)
                            then();
                    },
                    Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
        return true;
    }
    return false;
}

bool RecognitionPool::shutdown(int waitMs) {
    if (!m_shutDown) {
        m_shutDown = true;
        m_cancel->store(true);
        for (const auto& worker : m_workers) {
            // On a busy machine an idle-class thread might wait long for the
            // time to notice it should stop: it gets its share back. Refused
            // without the privilege; it then ends when it gets the time.
            if (const int tid = worker->tid.load(); tid > 0) {
                sched_param param{};
                ::sched_setscheduler(tid, SCHED_OTHER, &param);
            }
            QMetaObject::invokeMethod(
                worker->context,
                [] {
                    TextRecognizer::setThreadCancel(nullptr);
                    TextRecognizer::releaseThreadEngine();
                    QThread::currentThread()->quit();
                },
                Qt::QueuedConnection);
        }
    }
    const QDeadlineTimer deadline =
        waitMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(waitMs);
    bool all = true;
    for (const auto& worker : m_workers) {
        if (!worker->thread->wait(deadline)) {
            all = false;
            continue;
        }
        delete worker->context;
        worker->context = nullptr;
    }
    if (all)
        m_workers.clear();
    return all;
}
