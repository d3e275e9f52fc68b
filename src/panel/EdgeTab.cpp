#include "panel/EdgeTab.h"

#include "panel/PanelController.h"
#include "panel/ScreenChoice.h"
#include "platform/InputOnlyWindow.h"
#include "platform/Log.h"
#include "platform/X11Window.h"
#include "shelf/Announce.h"
#include "shelf/Theme.h"

#include <QAccessible>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <cmath>

using motion::Animation;
using motion::Prop;

namespace {

constexpr Qt::WindowFlags kFlags = Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                   Qt::NoDropShadowWindowHint | Qt::WindowDoesNotAcceptFocus;
constexpr motion::Timing kPillTiming{0.2, 0.9, 0.3, 1.0};
// How long a mapped tab may take to reach the screen before it is mapped
// again, and how often in a row: a window manager busy enough takes seconds.
constexpr int kMapCheckMs = 3000;
constexpr int kMaxRemaps = 5;

QRectF lerp(const QRectF& a, const QRectF& b, double t) {
    return {a.x() + (b.x() - a.x()) * t, a.y() + (b.y() - a.y()) * t,
            a.width() + (b.width() - a.width()) * t, a.height() + (b.height() - a.height()) * t};
}

} // namespace

EdgeTab::EdgeTab(bool composited)
    : QWidget(nullptr, kFlags)
    , m_composited(composited)
    , m_window([this] { frameChanged(); })
    , m_pillMotion([this] { frameChanged(); })
    , m_holes([this] { update(); }) {
    setWindowTitle(QStringLiteral("Tamberk Tab"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true); // a move onto the tab is what makes a hover
    setFixedSize(int(TabLayout::width), int(TabLayout::height));
    m_pill = m_fromPill =
        TabLayout::placedPill(TabLayout::pillRect(0, false, m_side), m_box, m_side, 1);
    m_mapCheck.setSingleShot(true);
    m_mapCheck.setInterval(kMapCheckMs);
    connect(&m_mapCheck, &QTimer::timeout, this, &EdgeTab::checkMapped);
    createNative();
}

EdgeTab::~EdgeTab() = default;

void EdgeTab::createNative() {
    setAttribute(Qt::WA_TranslucentBackground, m_composited);
    setAttribute(Qt::WA_NoSystemBackground, m_composited);
    winId();
    X11Window::makeDock(windowHandle());
    windowHandle()->installEventFilter(this);
    applyShape();
    // Without a compositor the window is only the pill: an input-only window
    // over the whole tab takes the pointer for it.
    if (m_composited || !X11Window::available()) {
        m_input.reset();
    } else if (!m_input) {
        m_input = std::make_unique<InputOnlyWindow>();
        const auto global = [this](QPoint at) {
            return (QPointF(at) / devicePixelRatioF()).toPoint();
        };
        connect(m_input.get(), &InputOnlyWindow::entered, this,
                [this, global](QPoint at) { pointerMoved(global(at)); });
        connect(m_input.get(), &InputOnlyWindow::moved, this,
                [this, global](QPoint at) { pointerMoved(global(at)); });
        connect(m_input.get(), &InputOnlyWindow::left, this, [this] { pointerLeft(); });
        connect(m_input.get(), &InputOnlyWindow::pressed, this,
                [this, global](int button, QPoint at, quint32) {
                    pressed(button == 3   ? Qt::RightButton
                            : button == 1 ? Qt::LeftButton
                                          : Qt::NoButton,
                            global(at));
                });
        connect(m_input.get(), &InputOnlyWindow::released, this,
                [this, global](int button, QPoint at, quint32 time) {
                    released(button == 1 ? Qt::LeftButton : Qt::NoButton, global(at), time);
                });
    }
    if (m_input)
        m_input->stayAbove(quint32(winId()));
    updateInputWindow();
}

void EdgeTab::updateInputWindow() {
    if (!m_input)
        return;
    // Where Qt put the window, in the pixels of the screen it is on.
    m_input->setGeometry(PanelGeometry::deviceRect(geometry(), m_screen)
                             .translated(m_screen.full.topLeft().toPoint()));
    // Shown with the tab, gone as soon as the tab starts to fade out.
    if (isVisible() && m_alpha > 0.5)
        m_input->show();
    else
        m_input->hide();
}

void EdgeTab::setComposited(bool composited) {
    if (composited == m_composited)
        return;
    m_composited = composited;
    const bool shown = isVisible();
    QWidget::hide();
    destroy();
    createNative();
    if (shown) {
        mapWindow();
        updateInputWindow();
    }
}

void EdgeTab::mapWindow() {
    // The states go before the map, for the manager to read, and again after
    // it, in case the manager was still busy with the last unmap.
    X11Window::applyDockStates(windowHandle());
    QWidget::show();
    X11Window::applyDockStates(windowHandle());
    if (X11Window::available())
        m_mapCheck.start();
}

void EdgeTab::checkMapped() {
    // A manager that lost the map request in a race with the last unmap
    // leaves the window off screen while Qt takes it for shown.
    if (!isVisible() || m_alpha < 0.5 || !windowHandle() || windowHandle()->isExposed())
        return;
    if (++m_remaps > kMaxRemaps)
        return;
    logFailure("edge tab", QStringLiteral("the window manager left the tab off screen; "
                                          "showing it again"));
    QWidget::hide();
    mapWindow();
    applyShape();
    updateInputWindow();
}

bool EdgeTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose) {
        if (windowHandle()->isExposed())
            m_remaps = 0;
        else if (isVisible() && m_alpha > 0.5 && X11Window::available())
            m_mapCheck.start();
    }
    return QWidget::eventFilter(watched, event);
}

void EdgeTab::applyShape() {
    if (!windowHandle())
        return;
    if (m_composited) {
        X11Window::clearShape(windowHandle());
        return;
    }
    // Without a compositor the window is the pill (its widest moment
    // included, so a bulge is not cut).
    const double scale = devicePixelRatioF();
    const QRectF pill = currentPill();
    QTransform t;
    t.scale(scale, scale);
    const QRegion region(t.map(TabLayout::pillPath(pill, m_side)).toFillPolygon().toPolygon());
    X11Window::setBoundingRegion(windowHandle(), region);
    X11Window::setInputRegion(windowHandle(), region);
}

QRectF EdgeTab::currentPill() const {
    const double t = m_pillMotion.value(Prop::Param, 1.0);
    QRectF pill = lerp(m_fromPill, m_pill, t);
    const double sx = m_pillMotion.value(Prop::ScaleX, 1.0);
    const double sy = m_pillMotion.value(Prop::ScaleY, 1.0);
    // The pill scales about its screen-edge side, vertically about its middle.
    const double edge = m_side == DockSide::right ? pill.right() : pill.left();
    const double w = pill.width() * sx;
    const double h = pill.height() * sy;
    const double x = m_side == DockSide::right ? edge - w : edge;
    return {x, pill.center().y() - h / 2, w, h};
}

void EdgeTab::frameChanged() {
    if (m_composited)
        setWindowOpacity(m_window.value(Prop::Opacity, m_alpha));
    else
        applyShape();
    update();
}

void EdgeTab::show() {
    if (!Prefs::shared().boolean(Key::showTab)) {
        m_window.removeAll();
        m_alpha = 0;
        QWidget::hide();
        updateInputWindow();
        return;
    }
    position();
    if (isVisible() && m_alpha > 0.99 && !m_window.has("fade"))
        return;
    const double from = isVisible() ? m_window.value(Prop::Opacity, m_alpha) : 0.0;
    m_alpha = 1;
    // Appearing under a pointer at rest (mapped, or its input window back
    // during a fade-out), the tab is not hovered: X reports an enter all the same.
    noteStillPointer();
    if (!isVisible()) {
        if (m_composited)
            setWindowOpacity(0);
        m_over = false;
        if (m_hover) {
            m_hover = false;
            layoutPill(false);
        }
        mapWindow();
        applyShape();
    }
    m_window.add("fade", Animation::basic(Prop::Opacity, from, 1, TabLayout::showSeconds));
    pop();
    updateInputWindow();
}

void EdgeTab::hide() {
    if (!isVisible())
        return;
    const double from = m_window.value(Prop::Opacity, m_alpha);
    m_alpha = 0;
    updateInputWindow();
    m_window.add("fade", Animation::basic(Prop::Opacity, from, 0, TabLayout::hideSeconds)
                             .onDone([self = QPointer<EdgeTab>(this)](bool finished) {
                                 // A show in between keeps the tab.
                                 if (finished && self && self->m_alpha < 0.01)
                                     self->QWidget::hide();
                             }));
}

void EdgeTab::position() {
    const ScreenFrames screen = ScreenFrames::of(ScreenChoice::tabScreen());
    if (screen.full.isEmpty())
        return;
    m_side = Prefs::shared().side();
    m_screen = screen;
    // The tab ends exactly on the screen's edge pixel at any ratio: a window
    // of whole points that Qt maps onto such pixels, the tab inside it.
    const QRectF wanted =
        PanelGeometry::pixelAligned(TabLayout::windowFrame(screen, m_side), screen);
    const QRect window = PanelGeometry::windowOnPixels(wanted, screen);
    m_box = PanelGeometry::inWindow(wanted, window, screen);
    setFixedSize(window.size());
    setGeometry(window);
    updateInputWindow();
    layoutPill(false);
}

void EdgeTab::setUnseen(int unseen) {
    if (unseen == m_unseen)
        return;
    m_unseen = unseen;
    layoutPill(true);
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    announce::send(changed);
}

void EdgeTab::click() {
    if (m_ctl)
        m_ctl->tabClicked(0);
}

void EdgeTab::layoutPill(bool animated) {
    const QRectF next = TabLayout::placedPill(TabLayout::pillRect(m_unseen, m_hover, m_side), m_box,
                                              m_side, m_screen.scale);
    if (animated && next != m_pill) {
        m_fromPill = lerp(m_fromPill, m_pill, m_pillMotion.value(Prop::Param, 1.0));
        m_pill = next;
        m_pillMotion.add("path",
                         Animation::basic(Prop::Param, 0, 1, TabLayout::pillSeconds, kPillTiming));
    } else {
        m_pillMotion.remove("path");
        m_fromPill = m_pill = next;
    }
    frameChanged();
}

void EdgeTab::pop() {
    m_pillMotion.add("pop", Animation::spring(Prop::ScaleY, 0.2, 1, motion::Spring{1, 260, 10}));
}

void EdgeTab::advance(int arrived) {
    const int repeats = TabLayout::advanceRepeats(arrived);
    m_holes.add("advance", Animation::basic(Prop::TranslationY, 0, 2 * TabLayout::step,
                                            TabLayout::advanceSeconds)
                               .repeated(repeats));
    m_pillMotion.add("bulge", Animation::spring(Prop::ScaleX, 1.5, 1, motion::Spring{1, 280, 8}));
}

// The input window (without a compositor) and the tab's own window (with
// one, and under the pill without one should the window manager stack the
// tab over the input window) both report here.

void EdgeTab::enterEvent(QEnterEvent* event) {
    pointerMoved(event->globalPosition().toPoint());
}

void EdgeTab::leaveEvent(QEvent*) {
    pointerLeft();
}

void EdgeTab::mouseMoveEvent(QMouseEvent* event) {
    pointerMoved(event->globalPosition().toPoint());
}

void EdgeTab::mousePressEvent(QMouseEvent* event) {
    pressed(event->button(), event->globalPosition().toPoint());
}

void EdgeTab::mouseReleaseEvent(QMouseEvent* event) {
    released(event->button(), event->globalPosition().toPoint(), quint32(event->timestamp()));
}

void EdgeTab::noteStillPointer() {
    const QPoint at = QCursor::pos();
    if (geometry().contains(at))
        m_still = at;
    else
        m_still.reset();
}

void EdgeTab::pointerMoved(const QPoint& at) {
    m_over = true;
    // An enter where the pointer rested: the tab came to the pointer, not
    // the pointer to the tab.
    if (m_hover || m_still == at)
        return;
    m_still.reset();
    setHover(true);
}

void EdgeTab::pointerLeft() {
    m_over = false;
    setHover(false);
}

void EdgeTab::setHover(bool hover) {
    if (hover == m_hover)
        return;
    m_hover = hover;
    layoutPill(true);
    if (m_ctl)
        m_ctl->tabHover(hover);
}

void EdgeTab::pressed(Qt::MouseButton button, const QPoint& at) {
    if (button == Qt::RightButton) {
        if (m_ctl && m_menu)
            m_ctl->tabPressed(); // the menu, not a hover opening
        popMenu(at);
        return;
    }
    if (m_ctl && button == Qt::LeftButton)
        m_ctl->tabPressed();
}

void EdgeTab::released(Qt::MouseButton button, const QPoint& at, quint32 time) {
    if (m_ctl && button == Qt::LeftButton && geometry().contains(at))
        m_ctl->tabClicked(time);
}

void EdgeTab::popMenu(const QPoint& at) {
    if (!m_menu || m_openMenu)
        return;
    QMenu* menu = m_menu();
    if (!menu)
        return;
    m_openMenu = menu;
    QPointer<PanelController> ctl = m_ctl;
    if (ctl)
        ctl->menuWillOpen();
    // Closed over the tab (Esc, a click beside it), the menu hands the
    // pointer back with an enter: no hover either.
    connect(menu, &QMenu::aboutToHide, this, [this] { noteStillPointer(); });
    // The hold goes on the next turn (menuDidClose), after the chosen item ran.
    connect(menu, &QMenu::aboutToHide, menu, [menu, ctl] {
        if (ctl)
            ctl->menuDidClose();
        menu->deleteLater();
    });
    menu->popup(at);
}

bool EdgeTab::event(QEvent* event) {
    if (event->type() == QEvent::WinIdChange || event->type() == QEvent::Show)
        applyShape();
    return QWidget::event(event);
}

void EdgeTab::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Practically invisible, so the whole tab area takes the pointer.
    if (m_composited)
        p.fillRect(rect(), QColor(255, 255, 255, 1));

    const QRectF pill = currentPill();
    const QPainterPath path = TabLayout::pillPath(pill, m_side);
    const int fillAlpha = m_composited ? int(0.9 * 255) : 255;
    p.setPen(QPen(QColor(255, 255, 255, int(0.2 * 255)), 0.5));
    p.setBrush(QColor::fromRgbF(0.07f, 0.07f, 0.07f, float(fillAlpha) / 255));
    p.drawPath(path);

    // The perforation: holes every step, shifted down while the film advances.
    const QRectF strip = TabLayout::holesRect(pill, m_unseen);
    const QRectF hole = TabLayout::holeRect(pill, m_side);
    const double shift = std::fmod(m_holes.value(Prop::TranslationY, 0.0), 2 * TabLayout::step);
    p.save();
    p.setClipRect(strip);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, int(0.62 * 255)));
    const int count = TabLayout::holeCount(strip.height());
    for (int i = 0; i < count; ++i) {
        const double y = strip.top() - TabLayout::step + shift + i * TabLayout::step;
        p.drawRoundedRect(QRectF(strip.left() + hole.left(), y, hole.width(), hole.height()), 0.7,
                          0.7);
    }
    p.restore();

    if (m_unseen >= 1) {
        p.setFont(Theme::monoFont(8.5, QFont::Bold));
        p.setPen(Qt::white);
        p.drawText(TabLayout::countRect(pill), Qt::AlignCenter, TabLayout::countText(m_unseen));
    }
}
