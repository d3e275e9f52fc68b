#pragma once

#include <QByteArray>
#include <QObject>
#include <memory>

/// Whether an X selection (a manager's, like _NET_WM_CM_S0 or
/// _NET_SYSTEM_TRAY_S0) has an owner, followed through XFixes selection
/// events, so nothing polls. Off X11 it always reads false.
class SelectionWatch : public QObject {
    Q_OBJECT
public:
    explicit SelectionWatch(const QByteArray& selection, QObject* parent = nullptr);
    ~SelectionWatch() override;

    /// The selection's name with the default screen's number appended
    /// ("_NET_SYSTEM_TRAY_S" gives "_NET_SYSTEM_TRAY_S0").
    static QByteArray onScreen(const QByteArray& prefix);

    bool hasOwner() const { return m_owned; }

signals:
    /// The selection got an owner (true) or lost it (false).
    void ownerChanged(bool owned);

private:
    class Filter;
    void update(bool owned);

    bool m_owned = false;
    std::unique_ptr<Filter> m_filter;
};
