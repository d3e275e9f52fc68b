#pragma once

#include "app/AppPorts.h"
#include "platform/RemoteControl.h"
#include "settings/PrefsSnapshot.h"

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class CaptureTool;
class DelayedWork;
class Hotkey;

/// The application itself: starts the panel, the tray item and the global
/// shortcut in a fixed order, presents the panel on the first launch,
/// re-applies the settings whenever the store changes (also when the file is
/// edited by hand or by tamberk-cli), and keeps the screenshot tool's save
/// location in step with the chosen folder. Answers the remote commands of
/// the session bus.
class AppDelegate : public QObject, public RemoteTarget {
    Q_OBJECT
public:
    /// The delays of the start-up and of the settings debounce, in seconds.
    static constexpr double prefsDelay = 0.15;
    static constexpr double firstShowDelay = 1.0;
    static constexpr double firstHideDelay = 4.0;
    static constexpr double pinnedShowDelay = 0.4;
    static constexpr double launchCheckDelay = 1.0;
    static constexpr double unpinnedCollapse = 0.6;

    /// What the delegate works with. Nothing is owned except what makePanel
    /// returns.
    struct Services {
        AppLibrary* lib = nullptr;
        /// Builds the panel (with its edge tab showing); run during launch.
        std::function<std::unique_ptr<AppPanel>()> makePanel;
        /// Creates the tray item; run during launch, right after the panel.
        std::function<void()> makeTrayItem;
        Hotkey* hotkey = nullptr;
        CaptureTool* tool = nullptr;
        /// Null: a real timer-driven instance of the delegate's own.
        DelayedWork* work = nullptr;
        /// Ends the process; null: QCoreApplication::quit.
        std::function<void()> quit;
        /// Puts text on the clipboard; null: the application's clipboard.
        std::function<void(const QString&)> setClipboard;
    };

    explicit AppDelegate(Services services, QObject* parent = nullptr);
    ~AppDelegate() override;

    /// The delegate of the running application, once launch() has begun.
    static AppDelegate* shared();
    /// The user's Desktop folder: the home folder's "Desktop".
    static QString desktop();

    /// The start-up sequence; runs once, inside the event loop's first turn.
    void launch();
    /// The settings store changed: re-applies 0.15 s after the last change.
    void defaultsChanged();
    /// Compares a fresh snapshot with the last applied one and applies what changed.
    void applyPrefs();
    /// The library changed: after the first completed scan, the screenshot
    /// tool's location is checked once, a second later.
    void libraryChanged();
    /// Points the screenshot tool at the library's root when "t2.syncSystem"
    /// asks for it, then restarts stray watching.
    void syncSystemLocation();

    /// The panel toggle of the shortcut and the tray menu.
    void togglePanel(quint32 timestamp = 0);

    AppPanel* panel() const { return m_panel.get(); }
    AppLibrary& library() const { return *m_s.lib; }
    Hotkey* hotkey() const { return m_s.hotkey; }
    const PrefsSnapshot& snapshot() const { return m_snap; }

    // RemoteTarget
    void toggle(const QString& token) override;
    void show(const QString& token) override;
    void hide() override;
    void quit() override;
    QVariantMap state() const override;
    void copyText(std::function<void(bool copied)> done) override;

    /// The X time in a startup id ("…_TIME<n>"); 0 when it carries none.
    static quint32 timestampFromToken(const QString& token);
    /// How the toasts name a folder: its last component, "Home" for the home folder.
    static QString displayName(const QString& path);

    /// Runs once, on the first launch (while "t2.launched" is false): carries
    /// the legacy "leftSide" over to "t2.side" and, on a background thread,
    /// removes the digits-only entries the first generation left in the caches
    /// folder. The future yields how many entries were removed (0 when the
    /// migration did not run). The start-up sets "t2.launched" afterwards.
    static QFuture<int> migrateFromV1();

    /// The program's version, as the build names it.
    static QString version();

    /// The application's caches folder: $XDG_CACHE_HOME/tamberk.
    static QString cachesPath();

private:
    enum Work { prefsWork, presentWork, launchCheckWork };

    Services m_s;
    std::unique_ptr<DelayedWork> m_ownWork;
    DelayedWork* m_work = nullptr;
    std::unique_ptr<AppPanel> m_panel;
    PrefsSnapshot m_snap;
    bool m_launchChecked = false;
    bool m_launched = false;
};
