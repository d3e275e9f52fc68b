#include "panel/ShareMenu.h"

#include "platform/AppChooser.h"
#include "shelf/BlockItem.h"
#include "shelf/Theme.h"

#include <QMenu>

namespace ShareMenu {

QMenu* create(const QStringList& paths, QWidget* parent) {
    auto* menu = new QMenu(QStringLiteral("Share"), parent);
    menu->setIcon(Theme::symbolIcon(u"square.and.arrow.up"));
    // Looking the applications up reads the desktop's association files: done
    // when the submenu opens, not for every right-click.
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, paths] { fill(menu, paths); });
    return menu;
}

void fill(QMenu* menu, const QStringList& paths) {
    menu->clear();
    for (const AppChooser::App& app : AppChooser::appsFor(paths)) {
        auto* action = new BlockItem(
            app.name, {}, {}, [id = app.id, paths] { AppChooser::launch(id, paths); }, menu);
        if (!app.iconName.isEmpty())
            action->setIcon(QIcon::fromTheme(app.iconName));
        menu->addAction(action);
    }
    if (!menu->isEmpty())
        menu->addSeparator();
    // The desktop's chooser takes one file at a time.
    auto* other = new BlockItem(
        QStringLiteral("Other Application…"), {}, {},
        [paths] { AppChooser::chooseOther(paths.first()); }, menu);
    other->setEnabled(paths.size() == 1);
    menu->addAction(other);
    menu->addAction(new BlockItem(
        QStringLiteral("Email…"), QStringLiteral("envelope"), {},
        [paths] { AppChooser::email(paths); }, menu));
}

} // namespace ShareMenu
