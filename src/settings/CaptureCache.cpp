#include "settings/CaptureCache.h"

#include <QCoreApplication>
#include <QThread>

CaptureCache& CaptureCache::shared() {
    static CaptureCache instance;
    return instance;
}

CaptureCache::CaptureCache()
    : m_detector(&SystemCapture::facts) {
    m_worker.setMaxThreadCount(1);
    m_worker.setObjectName(QStringLiteral("tamberk.capture"));
    if (QCoreApplication::instance() && thread() != QCoreApplication::instance()->thread())
        moveToThread(QCoreApplication::instance()->thread());
    m_timer.setInterval(refreshMs);
    connect(&m_timer, &QTimer::timeout, this, &CaptureCache::refresh);
}

CaptureCache::~CaptureCache() {
    m_worker.waitForDone();
}

CaptureFacts CaptureCache::facts() {
    {
        QMutexLocker locker(&m_lock);
        if (m_known)
            return m_facts;
    }
    // Asked for from the main thread only, where the worker's answer lands.
    if (QThread::currentThread() == thread())
        refresh();
    return {};
}

bool CaptureCache::known() const {
    QMutexLocker locker(&m_lock);
    return m_known;
}

void CaptureCache::refresh() {
    if (m_running) {
        m_again = true;
        return;
    }
    m_running = true;
    if (!m_timer.isActive())
        m_timer.start();
    // `this` outlives the job: the destructor waits for the worker.
    m_worker.start([this, detector = m_detector] {
        const CaptureFacts facts = detector();
        QMetaObject::invokeMethod(
            this,
            [this, facts] {
                m_running = false;
                store(facts);
                if (std::exchange(m_again, false))
                    refresh();
            },
            Qt::QueuedConnection);
    });
}

void CaptureCache::detectNow() {
    store(m_detector());
}

void CaptureCache::setDetectorForTesting(Detector detector) {
    m_worker.waitForDone();
    QCoreApplication::sendPostedEvents(this);
    m_detector = detector ? std::move(detector) : Detector(&SystemCapture::facts);
    QMutexLocker locker(&m_lock);
    m_known = false;
    m_facts = {};
    m_running = false;
    m_again = false;
}

void CaptureCache::store(const CaptureFacts& facts) {
    bool differs = false;
    {
        QMutexLocker locker(&m_lock);
        differs = !m_known || !(m_facts == facts);
        m_facts = facts;
        m_known = true;
    }
    if (differs)
        emit changed();
}
