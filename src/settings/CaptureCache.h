#pragma once

#include "settings/SystemCapture.h"

#include <QMutex>
#include <QObject>
#include <QThreadPool>
#include <QTimer>
#include <functional>

/// The screenshot tool's facts as last detected. Detection is slow (two scans
/// of /proc, on GNOME gsettings with a timeout of seconds), so it runs on a
/// worker: once on first demand, again on a slow timer and when the settings
/// window asks; rescans and the stray watcher read the cached answer.
class CaptureCache : public QObject {
    Q_OBJECT
public:
    /// How often the tool is detected again while the program runs.
    static constexpr int refreshMs = 5 * 60 * 1000;
    using Detector = std::function<CaptureFacts()>;

    /// The process-wide cache, living on the main thread.
    static CaptureCache& shared();

    /// The last detected facts; before the first detection has finished,
    /// empty ones (no prefix, no folders), and a detection is started.
    CaptureFacts facts();
    /// Whether a detection has finished.
    bool known() const;
    /// Starts a detection on the worker; one asked for while one runs
    /// follows it. changed() is emitted when the facts differ.
    void refresh();
    /// Detects on the calling thread and keeps the answer (one-shot tools).
    void detectNow();
    /// Replaces the detection, forgets the facts (tests); empty restores it.
    void setDetectorForTesting(Detector detector);

signals:
    /// The facts changed.
    void changed();

private:
    CaptureCache();
    ~CaptureCache() override;
    void store(const CaptureFacts& facts);

    mutable QMutex m_lock;
    CaptureFacts m_facts;
    bool m_known = false;
    bool m_running = false;
    bool m_again = false;
    Detector m_detector;
    QTimer m_timer;
    QThreadPool m_worker;
};
