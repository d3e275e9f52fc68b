// The Tamberk application: the docked panel with its edge tab, the tray item,
// the global shortcut and the single-instance service on the session bus.
// `tamberk --toggle|--show|--hide|--quit` forwards to the running instance.
#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/ui/Accessibility.h"
#include "app/ui/DockedShell.h"
#include "app/ui/TrayItem.h"
#include "library/Library.h"
#include "panel/DockedPanel.h"
#include "panel/EdgeTab.h"
#include "panel/PanelController.h"
#include "platform/GlobalShortcut.h"
#include "platform/Log.h"
#include "platform/Memory.h"
#include "platform/PortalShortcut.h"
#include "platform/RemoteControl.h"
#include "platform/TrayHost.h"
#include "platform/X11Connection.h"
#include "settings/CaptureTool.h"
#include "settings/Hotkey.h"
#include "settings/ui/SettingsWindow.h"
#include "shelf/Theme.h"

#include <QApplication>
#include <QTextStream>
#include <QTimer>

namespace {

QStringList argumentsOf(int argc, char** argv) {
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

} // namespace

int main(int argc, char** argv) {
    const QStringList args = argumentsOf(argc, argv);
    QTextStream err(stderr);
    if (args.size() > 1) {
        const CommandLine::Parsed parsed = CommandLine::parse(args);
        if (!parsed.wrong.isEmpty())
            return CommandLine::misuse(err, parsed.wrong);
        const QString& option = parsed.option;
        if (option == QLatin1String("--help")) {
            QTextStream(stdout) << CommandLine::help();
            return 0;
        }
        if (option == QLatin1String("--version")) {
            QTextStream(stdout) << "tamberk " << AppDelegate::version() << '\n';
            return 0;
        }
        // Remote commands need only the session bus, not a display.
        if (const auto command = RemoteControl::commandFrom(args)) {
            QCoreApplication core(argc, argv);
            return RemoteControl::forward(*command, err);
        }
        return CommandLine::misuse(err, QStringLiteral("unknown option '%1'").arg(option));
    }

    // Qt cannot place or raise a dock on Wayland; XWayland can.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool x11 = platform.isEmpty() || platform == "xcb";
    if (x11 && (!qEnvironmentVariableIsSet("DISPLAY") || !X11Connection::displayReachable())) {
        err << "Tamberk needs an X11 display: DISPLAY is "
            << (qEnvironmentVariableIsSet("DISPLAY") ? "set, but no X server answers there"
                                                     : "not set")
            << ". Start it inside a graphical session.\n";
        return 2;
    }

    Memory::returnFreedImages();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tamberk"));
    QApplication::setApplicationVersion(AppDelegate::version());
    QApplication::setDesktopFileName(QStringLiteral("org.tamberk.Tamberk"));
    QApplication::setQuitOnLastWindowClosed(false);
    Theme::applyApplicationStyle(app);
    accessibility::install();

    // Destroyed in reverse order: the delegate (and the panel port it owns)
    // before the panel windows, those before the library.
    Library lib;
    LiveLibrary liveLib(lib);
    // In a Wayland session a key grab sees keys only while one of our windows
    // has focus: the desktop's portal binds the shortcut there, when it can.
    GlobalShortcut grab;
    std::unique_ptr<PortalShortcut> portal;
    if (PortalShortcut::waylandSession())
        portal = std::make_unique<PortalShortcut>(&grab);
    Hotkey hotkey(portal ? static_cast<GlobalShortcut*>(portal.get()) : &grab);
    SystemCaptureTool tool;
    TrayHost trayHost;
    std::unique_ptr<DockedPanel> docked;
    std::unique_ptr<TrayItem> tray;
    std::unique_ptr<AppDelegate> delegate;
    TrayMenu::Hooks hooks;
    hooks.showSettings = [] { SettingsWindow::show(); };

    AppDelegate::Services services;
    services.lib = &liveLib;
    services.hotkey = &hotkey;
    services.tool = &tool;
    services.makePanel = [&]() -> std::unique_ptr<AppPanel> {
        docked = std::make_unique<DockedPanel>(lib);
        docked->setShowSettings([] { SettingsWindow::show(); });
        return std::make_unique<DockedShell>(*docked, lib);
    };
    services.makeTrayItem = [&] {
        tray = std::make_unique<TrayItem>(*delegate, hooks, &trayHost);
        // While the tray's menu is open the panel neither opens on the tab's
        // hover nor closes under it, as with the panel's own menus (the tab
        // holds the panel itself for the menu it pops).
        QObject::connect(tray.get(), &TrayItem::menuShown, &docked->controller(), [&](bool shown) {
            shown ? docked->controller().menuWillOpen() : docked->controller().menuDidClose();
        });
        docked->setTabMenu([&] { return tray->makeMenu(); });
        tray->start();
    };
    delegate = std::make_unique<AppDelegate>(services);

    // One instance per session: a second plain start shows the first one.
    RemoteControl remote(*delegate);
    switch (remote.start()) {
    case RemoteControl::Start::registered:
        break;
    case RemoteControl::Start::alreadyRunning:
        return RemoteControl::forward(RemoteCommand::show, err);
    case RemoteControl::Start::failed:
        err << "Tamberk runs without its session-bus service: another start will not find it.\n";
        break;
    }

    SettingsWindow::configure(
        {&tool, &hotkey, [&lib] { lib.watchStrays(); },
         [&docked] {
             return docked ? docked->controller().cardScreenFrame().toAlignedRect() : QRect();
         }});
    QTimer::singleShot(0, delegate.get(), [&] { delegate->launch(); });
    return app.exec();
}
