// The tray menu (also the edge tab's menu) in its two typical states.
#include "Gallery.h"
#include "app/ui/TrayMenu.h"

#include <QMenu>

namespace {

std::unique_ptr<QWidget> menuFor(const TrayFacts& facts) {
    auto menu = std::make_unique<QMenu>();
    TrayMenu::fill(menu.get(), TrayMenu::rows(facts), [](TrayAction) {});
    menu->adjustSize();
    return menu;
}

} // namespace

GALLERY_WIDGET_PAGE(tray_menu, [] {
    TrayFacts f;
    f.root = QStringLiteral("/home/user/Pictures/Screenshots");
    return menuFor(f);
})

GALLERY_WIDGET_PAGE(tray_menu_open_left, [] {
    TrayFacts f;
    f.expanded = true;
    f.hotkey = 4;
    f.sessionCount = 1;
    f.root = QStringLiteral("/home/user/Shots & Clips");
    f.pinned = true;
    f.side = DockSide::left;
    f.launchAtLogin = true;
    return menuFor(f);
})
