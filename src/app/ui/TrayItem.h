#pragma once

#include "app/ui/TrayMenu.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <memory>

class AppDelegate;
class QMenu;
class QSystemTrayIcon;
class TrayHost;

/// The tray item: the film glyph with the tooltip "Tamberk" and the menu,
/// made only once a StatusNotifierItem host exists (Qt remembers a missing
/// tray for the life of the process). The edge tab's right-click opens the
/// same menu, made afresh by makeMenu().
class TrayItem : public QObject {
    Q_OBJECT
public:
    TrayItem(AppDelegate& app, TrayMenu::Hooks hooks, TrayHost* host, QObject* parent = nullptr);
    ~TrayItem() override;

    /// Starts looking for a tray host; the icon appears when one is found.
    void start();
    /// Whether the icon is in a tray.
    bool inTray() const { return m_icon != nullptr; }
    /// The menu (rebuilt on every opening).
    QMenu* menu() const { return m_menu.get(); }
    /// Opens the menu at a global position.
    void popup(const QPoint& globalPos);
    /// A new menu with the same rows, for the caller to pop and delete (the
    /// edge tab's right-click).
    QMenu* makeMenu();

    /// The film glyph in the light ink of panels and trays.
    static QIcon icon();

signals:
    /// The menu opened (true) or closed (false).
    void menuShown(bool shown);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showIcon();

    AppDelegate& m_app;
    TrayMenu::Hooks m_hooks;
    QPointer<TrayHost> m_host;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_icon = nullptr;
    quint32 m_inputTime = 0; // X time of the last click or key in the menu
};
