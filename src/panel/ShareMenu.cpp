#include "panel/ShareMenu.h"

#include "shelf/BlockItem.h"
#include "shelf/Theme.h"

#include <QMenu>

namespace ShareMenu {

QMenu* create(const QStringList& paths, Failed failed, QWidget* parent, Actions actions) {
    auto* menu = new QMenu(QStringLiteral("Share"), parent);
    menu->setIcon(Theme::symbolIcon(u"square.and.arrow.up"));
    // Looking the applications up reads the desktop's association files: done
    // when the submenu opens, not for every right-click.
    QObject::connect(menu, &QMenu::aboutToShow, menu,
                     [menu, paths, failed = std::move(failed), actions = std::move(actions)] {
                         fill(menu, paths, failed, actions);
                     });
    return menu;
}

void fill(QMenu* menu, const QStringList& paths, const Failed& failed, const Actions& actions) {
    menu->clear();
    // The reasons are in the log; the toast says only what did not happen.
    const auto item = [&](const QString& title, const QString& icon, std::function<bool()> run,
                          const QString& failure) {
        return new BlockItem(
            title, icon, {},
            [run = std::move(run), failed, failure] {
                if (!run() && failed)
                    failed(failure);
            },
            menu);
    };
    for (const AppChooser::App& app : actions.apps(paths)) {
        QAction* action = item(
            app.name, {},
            [launch = actions.launch, id = app.id, paths] { return launch(id, paths); },
            QStringLiteral("Couldn't open in “%1”").arg(app.name));
        if (!app.iconName.isEmpty())
            action->setIcon(QIcon::fromTheme(app.iconName));
        menu->addAction(action);
    }
    if (!menu->isEmpty())
        menu->addSeparator();
    // The desktop's chooser takes one file at a time.
    QAction* other = item(
        QStringLiteral("Other Application…"), {},
        [choose = actions.chooseOther, paths] { return choose(paths.first()); },
        QStringLiteral("Couldn't open the chooser"));
    other->setEnabled(paths.size() == 1);
    menu->addAction(other);
    const QString noEmail = QStringLiteral("Couldn't start an email");
    menu->addAction(item(
        QStringLiteral("Email…"), QStringLiteral("envelope"),
        [email = actions.email, paths, failed, noEmail] {
            return email(paths, [failed, noEmail] {
                if (failed)
                    failed(noEmail);
            });
        },
        noEmail));
}

} // namespace ShareMenu
