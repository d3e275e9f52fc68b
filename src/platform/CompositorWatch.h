#pragma once

#include <QObject>
#include <memory>

/// Whether a compositing manager runs on the default screen, that is whether
/// the selection _NET_WM_CM_S<screen> has an owner. Changes arrive as XFixes
/// selection events, so nothing polls. Off X11 it always reads false.
class CompositorWatch : public QObject {
    Q_OBJECT
public:
    explicit CompositorWatch(QObject* parent = nullptr);
    ~CompositorWatch() override;

    /// Whether a compositor runs now.
    bool isComposited() const { return m_composited; }

signals:
    /// A compositor started (true) or stopped (false).
    void compositedChanged(bool composited);

private:
    class Filter;
    void update(bool composited);

    bool m_composited = false;
    std::unique_ptr<Filter> m_filter;
};
