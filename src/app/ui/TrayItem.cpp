#include "app/ui/TrayItem.h"

#include "platform/TrayHost.h"
#include "shelf/Theme.h"

#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QSystemTrayIcon>

TrayItem::TrayItem(AppDelegate& app, TrayMenu::Hooks hooks, TrayHost* host, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_hooks(std::move(hooks))
    , m_host(host)
    , m_menu(std::make_unique<QMenu>()) {
    m_menu->setToolTipsVisible(true);
    m_menu->installEventFilter(this);
    m_hooks.eventTime = [this] { return m_inputTime; };
    connect(m_menu.get(), &QMenu::aboutToShow, this, [this] {
        TrayMenu::fill(m_menu.get(), m_app, m_hooks);
        emit menuShown(true);
    });
    connect(m_menu.get(), &QMenu::aboutToHide, this, [this] { emit menuShown(false); });
    // Filled once now too, so a tray that reads the menu before opening it
    // finds the rows.
    TrayMenu::fill(m_menu.get(), m_app, m_hooks);
}

TrayItem::~TrayItem() {
    delete m_icon;
}

void TrayItem::start() {
    if (!m_host)
        return;
    connect(m_host, &TrayHost::available, this, &TrayItem::showIcon);
    m_host->start();
    if (m_host->isAvailable())
        showIcon();
}

void TrayItem::showIcon() {
    if (m_icon)
        return;
    m_icon = new QSystemTrayIcon(icon());
    m_icon->setToolTip(QStringLiteral("Tamberk"));
    m_icon->setContextMenu(m_menu.get());
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // A plain click opens the menu too, as on every other tray item of ours.
                if (reason == QSystemTrayIcon::Trigger)
                    popup(QCursor::pos());
            });
    m_icon->show();
}

void TrayItem::popup(const QPoint& globalPos) {
    m_menu->popup(globalPos);
}

QMenu* TrayItem::makeMenu() {
    auto* menu = new QMenu;
    menu->installEventFilter(this);
    TrayMenu::fill(menu, m_app, m_hooks);
    return menu;
}

bool TrayItem::eventFilter(QObject* watched, QEvent* event) {
    // On X11 an input event's timestamp is the server time of the click,
    // which the panel's focus request needs.
    if (qobject_cast<QMenu*>(watched) &&
        (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::KeyPress))
        m_inputTime = quint32(static_cast<QInputEvent*>(event)->timestamp());
    return QObject::eventFilter(watched, event);
}

QIcon TrayItem::icon() {
    QIcon icon;
    for (const int side : {16, 18, 22, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(Theme::filmGlyph(side, Theme::ink())));
    return icon;
}
