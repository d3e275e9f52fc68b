// The Tamberk application: the docked panel with its edge tab, the tray item,
// the global shortcut and the single-instance service on the session bus.
// `tamberk --toggle|--show|--hide|--quit` forwards to the running instance.
#include "app/AppDelegate.h"
#include "app/ui/DockedShell.h"
#include "app/ui/TrayItem.h"
#include "library/Library.h"
#include "panel/DockedPanel.h"
#include "panel/EdgeTab.h"
#include "panel/PanelController.h"
#include "platform/GlobalShortcut.h"
#include "platform/Log.h"
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
#include <optional>

namespace {

// The options of `tamberk`, for --help and for checking the command line. An
// option gets its row here and its branch in main(); `value` names the one
// argument it takes, if any.
struct Option {
    const char* name;
    const char* value;
    const char* help;
};
constexpr Option options[] = {
    {"--toggle", nullptr, "open or close the panel of the running Tamberk"},
    {"--show", nullptr, "open the panel of the running Tamberk"},
    {"--hide", nullptr, "close the panel of the running Tamberk"},
    {"--quit", nullptr, "quit the running Tamberk"},
    {"--help", nullptr, "print this help and exit"},
    {"--version", nullptr, "print the version and exit"},
};

const Option* optionNamed(const QString& name) {
    const QString full = name == QLatin1String("-h") ? QStringLiteral("--help") : name;
    for (const Option& option : options) {
        if (full == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

QString usageLine() {
    QStringList forms;
    for (const Option& option : options)
        forms << (option.value ? QStringLiteral("%1 %2").arg(option.name, option.value)
                               : QString::fromLatin1(option.name));
    return QStringLiteral("Usage: tamberk [%1]\n").arg(forms.join(QLatin1String(" | ")));
}

void printHelp() {
    QTextStream out(stdout);
    out << usageLine()
        << "Keeps your screenshots and screen recordings at hand, docked to an edge of\n"
           "the screen. Without an option, starts Tamberk in this X11 session, or shows\n"
           "the one already running.\n\nOptions:\n";
    for (const Option& option : options) {
        const QString form = option.value ? QStringLiteral("%1 %2").arg(option.name, option.value)
                                          : QString::fromLatin1(option.name);
        out << "  " << form.leftJustified(18) << option.help << '\n';
    }
    out << "\nThe options that reach the running Tamberk exit with 1 when none runs.\n"
           "Settings: ~/.config/tamberk/tamberk.conf, or tamberk-cli settings.\n";
}

// A wrong command line: what was wrong and the usage line, exit status 2.
int misuse(QTextStream& err, const QString& what) {
    err << "tamberk: " << what << '\n'
        << usageLine() << "Try 'tamberk --help' for more information.\n";
    return 2;
}

// Whether the arguments after the option are what it takes.
std::optional<QString> wrongArguments(const QStringList& args) {
    const Option* option = optionNamed(args.at(1));
    if (!option)
        return args.at(1).startsWith(QLatin1Char('-'))
                   ? QStringLiteral("unknown option '%1'").arg(args.at(1))
                   : QStringLiteral("unexpected argument '%1'").arg(args.at(1));
    const int wanted = option->value ? 3 : 2;
    if (args.size() < wanted)
        return QStringLiteral("%1 needs %2").arg(option->name, option->value);
    if (args.size() > wanted)
        return QStringLiteral("unexpected argument '%1'").arg(args.at(wanted));
    return std::nullopt;
}

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
        if (const auto wrong = wrongArguments(args))
            return misuse(err, *wrong);
        const QString option = optionNamed(args.at(1))->name;
        if (option == QLatin1String("--help")) {
            printHelp();
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
        return misuse(err, QStringLiteral("unknown option '%1'").arg(option));
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

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tamberk"));
    QApplication::setApplicationVersion(AppDelegate::version());
    QApplication::setDesktopFileName(QStringLiteral("org.tamberk.Tamberk"));
    QApplication::setQuitOnLastWindowClosed(false);
    Theme::applyApplicationStyle(app);

    // Destroyed in reverse order: the delegate (and the panel port it owns)
    // before the panel windows, those before the library.
    Library lib;
    LiveLibrary liveLib(lib);
    GlobalShortcut shortcut;
    Hotkey hotkey(&shortcut);
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

    SettingsWindow::configure({&tool, &hotkey, [&lib] { lib.watchStrays(); }});
    QTimer::singleShot(0, delegate.get(), [&] { delegate->launch(); });
    return app.exec();
}
