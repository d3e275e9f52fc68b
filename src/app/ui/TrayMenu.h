#pragma once

#include "settings/Prefs.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class AppDelegate;
class QMenu;

/// Answers the keys a menu shows beside its rows while it is open: Qt gives
/// the actions of a popup opened on its own no shortcuts. A row's keys are
/// its QKeySequence property `property`.
class MenuKeys : public QObject {
    Q_OBJECT
public:
    static const char property[];
    /// Once per menu; the filter is the menu's child.
    static void install(QMenu* menu);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};

/// What a tray menu row does when chosen.
enum class TrayAction {
    none,
    toggle,
    openFolder,
    newFolder,
    newSession,
    keepOpen,
    dockLeft,
    launchAtLogin,
    settings,
    quit,
};

/// Everything the tray menu shows, read at the moment it opens.
struct TrayFacts {
    bool expanded = false;
    qint64 hotkey = 1;
    qint64 sessionCount = 0;
    QString root;
    bool pinned = false;
    DockSide side = DockSide::right;
    bool launchAtLogin = false;

    /// Reads the facts now: the panel from `app`, the settings and the autostart entry.
    static TrayFacts read(const AppDelegate& app);
};

/// One row of the tray menu.
struct TrayRow {
    bool separator = false;
    QString title;
    QString symbol;
    /// The key shown beside the title, in the wording of the shortcut
    /// presets ("Shift+Super+6", where Qt would say "Meta").
    QString key;
    bool enabled = true;
    bool checkable = false;
    bool checked = false;
    bool brand = false;
    TrayAction action = TrayAction::none;
};

/// The tray item's menu (also the edge tab's right-click menu where no tray
/// exists). It is rebuilt every time it opens, so titles, checks and counts
/// always show the present state.
namespace TrayMenu {

/// The fifteen rows for `facts`, separators included.
QList<TrayRow> rows(const TrayFacts& facts);
/// The brand line's text: the product's name and version in capitals.
QString brandText();

/// What the rows' actions reach besides the delegate.
struct Hooks {
    std::function<void()> showSettings;
    /// Opens a folder in the file manager; null: QDesktopServices.
    std::function<void(const QString&)> openFolder;
    /// Seconds since 1970, for "Start New Session"; null: the system clock.
    std::function<double()> now;
    /// The X time of the click that chose the row, for the panel's focus
    /// request (window managers refuse requests without a recent time).
    std::function<quint32()> eventTime;
};

/// Runs one row's action.
void run(TrayAction action, AppDelegate& app, const Hooks& hooks);

/// Clears `menu` and fills it with the rows for the present state.
void fill(QMenu* menu, AppDelegate& app, const Hooks& hooks);
/// Clears `menu` and fills it with `rows`; choosing one calls `choose`.
void fill(QMenu* menu, const QList<TrayRow>& rows, const std::function<void(TrayAction)>& choose);

} // namespace TrayMenu
