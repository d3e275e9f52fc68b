#pragma once

#include <QObject>
#include <memory>

class SelectionWatch;

/// Whether a compositing manager runs on the default screen, that is whether
/// the selection _NET_WM_CM_S<screen> has an owner. Changes arrive as XFixes
/// selection events, so nothing polls. Off X11 it always reads false.
class CompositorWatch : public QObject {
    Q_OBJECT
public:
    explicit CompositorWatch(QObject* parent = nullptr);
    ~CompositorWatch() override;

    /// Whether a compositor runs now.
    bool isComposited() const;

signals:
    /// A compositor started (true) or stopped (false).
    void compositedChanged(bool composited);

private:
    std::unique_ptr<SelectionWatch> m_watch;
};
