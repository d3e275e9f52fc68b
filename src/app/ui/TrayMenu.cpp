#include "app/ui/TrayMenu.h"

#include "app/AppDelegate.h"
#include "settings/Hotkey.h"
#include "settings/LoginItem.h"
#include "shelf/BlockItem.h"
#include "shelf/Theme.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QUrl>
#include <QWidgetAction>

TrayFacts TrayFacts::read(const AppDelegate& app) {
    const Prefs& prefs = Prefs::shared();
    TrayFacts f;
    f.expanded = app.panel() && app.panel()->expanded();
    f.hotkey = prefs.integer(Key::hotkey);
    f.sessionCount = app.library().sessionCount();
    f.root = app.library().root();
    f.pinned = prefs.boolean(Key::pinned);
    f.side = prefs.side();
    f.launchAtLogin = LoginItem::isEnabled();
    return f;
}

namespace TrayMenu {

namespace {

TrayRow item(QString title, QString symbol, TrayAction action, QString key = {}) {
    TrayRow r;
    r.title = std::move(title);
    r.symbol = std::move(symbol);
    r.action = action;
    r.key = std::move(key);
    return r;
}

TrayRow separator() {
    TrayRow r;
    r.separator = true;
    return r;
}

TrayRow check(QString title, QString symbol, TrayAction action, bool on) {
    TrayRow r = item(std::move(title), std::move(symbol), action);
    r.checkable = true;
    r.checked = on;
    return r;
}

} // namespace

QList<TrayRow> rows(const TrayFacts& f) {
    QList<TrayRow> rows;
    rows << item(f.expanded ? QStringLiteral("Hide Tamberk") : QStringLiteral("Show Tamberk"),
                 QStringLiteral("film"), TrayAction::toggle,
                 Hotkey::preset(f.hotkey).keys.isEmpty() ? QString()
                                                         : Hotkey::preset(f.hotkey).label);
    rows << separator();
    TrayRow count;
    count.title = f.sessionCount == 1
                      ? QStringLiteral("1 frame this session")
                      : QStringLiteral("%1 frames this session").arg(f.sessionCount);
    count.enabled = false;
    rows << count;
    rows << item(QStringLiteral("Open %1").arg(AppDelegate::displayName(f.root)),
                 QStringLiteral("folder"), TrayAction::openFolder);
    rows << item(QStringLiteral("New Folder\u2026"), QStringLiteral("folder.badge.plus"),
                 TrayAction::newFolder);
    rows << item(QStringLiteral("Start New Session"), QStringLiteral("arrow.counterclockwise"),
                 TrayAction::newSession);
    rows << separator();
    rows << check(QStringLiteral("Keep Open"), QStringLiteral("pin"), TrayAction::keepOpen,
                  f.pinned);
    rows << check(QStringLiteral("Dock on Left Edge"), QStringLiteral("sidebar.left"),
                  TrayAction::dockLeft, f.side == DockSide::left);
    rows << check(QStringLiteral("Launch at Login"), QStringLiteral("power"),
                  TrayAction::launchAtLogin, f.launchAtLogin);
    rows << separator();
    rows << item(QStringLiteral("Settings\u2026"), QStringLiteral("gearshape"),
                 TrayAction::settings, QStringLiteral("Ctrl+,"));
    rows << separator();
    TrayRow brand;
    brand.title = brandText();
    brand.enabled = false;
    brand.brand = true;
    rows << brand;
    rows << item(QStringLiteral("Quit Tamberk"), QStringLiteral("xmark.circle"), TrayAction::quit,
                 QStringLiteral("Ctrl+Q"));
    return rows;
}

QString brandText() {
    return QStringLiteral("TAMBERK  \u00b7  TAMBERK %1").arg(AppDelegate::version());
}

void run(TrayAction action, AppDelegate& app, const Hooks& hooks) {
    Prefs& prefs = Prefs::shared();
    AppPanel* panel = app.panel();
    switch (action) {
    case TrayAction::none:
        break;
    case TrayAction::toggle:
        app.togglePanel(hooks.eventTime ? hooks.eventTime() : 0);
        break;
    case TrayAction::openFolder:
        if (hooks.openFolder)
            hooks.openFolder(app.library().root());
        else
            QDesktopServices::openUrl(QUrl::fromLocalFile(app.library().root()));
        break;
    case TrayAction::newFolder:
        if (panel)
            panel->newFolderPrompt();
        break;
    case TrayAction::newSession:
        prefs.set(Key::sessionReset,
                  hooks.now ? hooks.now() : double(QDateTime::currentMSecsSinceEpoch()) / 1000.0);
        break;
    case TrayAction::keepOpen:
        if (panel)
            panel->togglePin();
        break;
    case TrayAction::dockLeft:
        prefs.set(Key::side, prefs.side() == DockSide::left ? QStringLiteral("right")
                                                            : QStringLiteral("left"));
        break;
    case TrayAction::launchAtLogin:
        // A failure is logged by LoginItem; the next opening shows the real state.
        LoginItem::set(!LoginItem::isEnabled());
        break;
    case TrayAction::settings:
        if (hooks.showSettings)
            hooks.showSettings();
        break;
    case TrayAction::quit:
        app.quit();
        break;
    }
}

void fill(QMenu* menu, AppDelegate& app, const Hooks& hooks) {
    QPointer<AppDelegate> self(&app);
    fill(menu, rows(TrayFacts::read(app)), [self, hooks](TrayAction what) {
        if (self)
            run(what, *self, hooks);
    });
}

void fill(QMenu* menu, const QList<TrayRow>& rows, const std::function<void(TrayAction)>& choose) {
    menu->clear();
    for (const TrayRow& row : rows) {
        if (row.separator) {
            menu->addSeparator();
            continue;
        }
        if (row.brand) {
            auto* action = new QWidgetAction(menu);
            auto* label = new QLabel(row.title);
            QFont font = Theme::monoFont(9, QFont::Medium);
            font.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
            label->setFont(font);
            label->setContentsMargins(12, 4, 12, 4);
            label->setTextFormat(Qt::PlainText);
            QPalette pal = label->palette();
            pal.setColor(QPalette::WindowText, Theme::ink3());
            label->setPalette(pal);
            action->setDefaultWidget(label);
            action->setEnabled(false);
            action->setText(row.title);
            menu->addAction(action);
            continue;
        }
        const TrayAction what = row.action;
        // A folder's name may hold "&", which a menu would take as a mnemonic.
        QString title = row.title;
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        // Shown beside the title, and answered while the menu is open
        // (MenuKeys): a popup's own actions get no shortcuts from Qt.
        if (!row.key.isEmpty())
            title += QLatin1Char('\t') + row.key;
        // This style draws a row's icon in place of its check mark.
        auto* action = new BlockItem(
            title, row.checkable ? QString() : row.symbol, {}, [choose, what] { choose(what); },
            menu);
        action->setEnabled(row.enabled);
        action->setCheckable(row.checkable);
        action->setChecked(row.checked);
        // The presets say "Super" where Qt says "Meta".
        action->setProperty(MenuKeys::property,
                            QKeySequence::fromString(QString(row.key).replace(
                                QLatin1String("Super"), QLatin1String("Meta"))));
        menu->addAction(action);
    }
    MenuKeys::install(menu);
}

} // namespace TrayMenu

const char MenuKeys::property[] = "tamberkKeys";

void MenuKeys::install(QMenu* menu) {
    if (!menu->findChild<MenuKeys*>(QString(), Qt::FindDirectChildrenOnly))
        menu->installEventFilter(new MenuKeys(menu));
}

bool MenuKeys::eventFilter(QObject* watched, QEvent* event) {
    auto* menu = qobject_cast<QMenu*>(watched);
    if (!menu || event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const QKeySequence pressed(key->keyCombination());
    for (QAction* action : menu->actions()) {
        const QKeySequence keys = action->property(property).value<QKeySequence>();
        if (keys.isEmpty() || keys != pressed || !action->isEnabled())
            continue;
        menu->close();
        action->trigger();
        return true;
    }
    return false;
}
