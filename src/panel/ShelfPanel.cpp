#include "panel/ShelfPanel.h"

#include "panel/PanelController.h"
#include "platform/X11Window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

namespace {

constexpr Qt::WindowFlags kFlags =
    Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint;

QRegion roundedRegion(const QRectF& rect, double radius, double scale) {
    QPainterPath path;
    path.addRoundedRect(QRectF(rect.topLeft() * scale, rect.size() * scale), radius * scale,
                        radius * scale);
    return QRegion(path.toFillPolygon().toPolygon());
}

} // namespace

ShelfPanel::ShelfPanel(bool composited)
    : QWidget(nullptr, kFlags | Qt::WindowDoesNotAcceptFocus)
    , m_composited(composited)
    , m_motion([this] { applyMotion(); }) {
    setWindowTitle(QStringLiteral("Tamberk Panel"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    resize(268, 700);
    createNative();
    // Key presses go to the focused widget first; the panel's shortcuts are
    // looked at before that widget sees them.
    qApp->installEventFilter(this);
}

ShelfPanel::~ShelfPanel() {
    qApp->removeEventFilter(this);
}

bool ShelfPanel::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::MouseButtonPress)
        return false;
    if (!watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != this)
        return false;
    auto* input = static_cast<QInputEvent*>(event);
    m_lastUserTime = quint32(input->timestamp());
    if (type == QEvent::MouseButtonPress) {
        // Clicking into the card gives it the keyboard, as clicking into any
        // window does; only opening on hover or peek leaves the focus alone.
        // A press travels up through the widgets that ignore it: ask once.
        if (!isActiveWindow() && m_keyAskedAt != m_lastUserTime) {
            m_keyAskedAt = m_lastUserTime;
            makeKey(m_lastUserTime);
        }
        return false;
    }
    // A key travels up from the focused widget; look at it once, at its start.
    if (!m_ctl || watched != (QApplication::focusWidget() ? QApplication::focusWidget() : this))
        return false;
    return m_ctl->handleKeyEquivalent(static_cast<QKeyEvent*>(event));
}

void ShelfPanel::createNative() {
    // The visual is chosen when the native window is made: ARGB only when a
    // compositor can blend it; otherwise the window is shaped to the card.
    setAttribute(Qt::WA_TranslucentBackground, m_composited);
    setAttribute(Qt::WA_NoSystemBackground, m_composited);
    winId();
    X11Window::makeDock(windowHandle());
    applyShape();
}

void ShelfPanel::setCard(QWidget* card) {
    m_card = card;
    card->setParent(this);
    card->setGeometry(m_cardRect.toAlignedRect());
    card->show();
}

void ShelfPanel::setComposited(bool composited) {
    if (composited == m_composited)
        return;
    m_composited = composited;
    if (isVisible()) {
        m_visualStale = true;
        applyShape();
        update();
        return;
    }
    destroy();
    createNative();
}

void ShelfPanel::setWindowFrame(const QRectF& frame) {
    setGeometry(frame.toAlignedRect());
}

void ShelfPanel::setCardRect(const QRectF& rect) {
    m_cardRect = rect;
    applyMotion();
    applyShape();
    update();
}

void ShelfPanel::applyShape() {
    if (!windowHandle())
        return;
    const double scale = devicePixelRatioF();
    const QRectF card = m_cardRect;
    // Window managers that frame the window ignore its input shape, so the
    // bounding shape is the card too: with a compositor including the room
    // for the shadow, without one exactly the rounded card.
    const QRegion bounds = m_composited
                               ? QRegion(QRectF(card.topLeft() * scale, card.size() * scale)
                                             .adjusted(-shadowMargin * scale, -shadowMargin * scale,
                                                       shadowMargin * scale, shadowMargin * scale)
                                             .toAlignedRect())
                               : roundedRegion(card, radius, scale);
    X11Window::setBoundingRegion(windowHandle(), bounds);
    // The card always takes the pointer, whatever the pointer check has seen
    // so far: a press that arrives together with the pointer (a tap, a warp)
    // lands before any check could run. Outside the card everything passes.
    X11Window::setInputRegion(windowHandle(),
                              QRectF(card.topLeft() * scale, card.size() * scale).toAlignedRect());
    // The tinted card is drawn over a blur of what lies behind it where the
    // compositor offers one; without a compositor the card is opaque anyway.
    if (!m_composited ||
        !X11Window::setBlurBehind(windowHandle(), roundedRegion(card, radius, scale)))
        X11Window::clearBlurBehind(windowHandle());
}

void ShelfPanel::applyMotion() {
    if (m_composited)
        setWindowOpacity(m_motion.value(motion::Prop::Opacity, isVisible() ? 1.0 : 0.0));
    if (!m_card)
        return;
    const double dx = m_motion.value(motion::Prop::TranslationX, 0.0);
    m_card->setGeometry(m_cardRect.translated(std::round(dx), 0).toAlignedRect());
}

void ShelfPanel::present(DockSide side, std::function<void()> faded) {
    using motion::Animation;
    using motion::Prop;
    if (!isVisible()) {
        if (m_composited)
            setWindowOpacity(0);
        // The states go before the map, for the manager to read, and again
        // after it, in case the manager was still busy with the last unmap.
        X11Window::applyDockStates(windowHandle());
        show();
        X11Window::applyDockStates(windowHandle());
        applyShape();
    }
    const double d = side == DockSide::right ? slide : -slide;
    m_motion.remove("slide.out");
    m_motion.add("slide.in",
                 Animation::spring(Prop::TranslationX, d, 0, motion::Spring{1, 320, 30}));
    // The fade starts from whatever opacity a running fade-out reached.
    const double from = m_motion.value(Prop::Opacity, 0.0);
    m_motion.add("fade", Animation::basic(Prop::Opacity, from, 1, PanelDelay::fadeIn,
                                          motion::Timing::easeOut())
                             .onDone([faded = std::move(faded)](bool finished) {
                                 if (finished && faded)
                                     faded();
                             }));
}

void ShelfPanel::dismiss(DockSide side, std::function<void()> done) {
    using motion::Animation;
    using motion::Prop;
    const double d = side == DockSide::right ? slide : -slide;
    m_motion.add("slide.out", Animation::basic(Prop::TranslationX, 0, 0.7 * d, PanelDelay::fadeOut,
                                               motion::Timing(0.4, 0, 1, 1))
                                  .fillForwards());
    m_motion.add(
        "fade", Animation::basic(Prop::Opacity, 1, 0, PanelDelay::fadeOut, motion::Timing::easeIn())
                    .fillForwards()
                    .onDone([done = std::move(done)](bool finished) {
                        if (finished && done)
                            done();
                    }));
}

void ShelfPanel::orderOut() {
    hide();
    m_motion.removeAll();
    if (m_visualStale) {
        m_visualStale = false;
        destroy();
        createNative();
    }
}

void ShelfPanel::setIgnoresMouse(bool ignore) {
    // Only outside the card, where the input region lets everything pass anyway.
    m_ignoresMouse = ignore;
}

void ShelfPanel::setFocusable(bool focusable) {
    const Qt::WindowFlags flags =
        focusable ? kFlags : Qt::WindowFlags(kFlags | Qt::WindowDoesNotAcceptFocus);
    // Changing a shown widget's flags through QWidget would unmap it; the
    // widget is told, the native window changes in place.
    overrideWindowFlags(flags);
    if (!X11Window::setAcceptsFocus(windowHandle(), focusable) && windowHandle())
        windowHandle()->setFlags(flags);
}

void ShelfPanel::makeKey(quint32 timestamp) {
    if (timestamp == 0)
        timestamp = m_lastUserTime;
    setFocusable(true);
    if (!X11Window::activate(windowHandle(), timestamp))
        activateWindow();
}

void ShelfPanel::resignFocus() {
    setFocusable(false);
}

bool ShelfPanel::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::WinIdChange:
    case QEvent::Show:
        applyShape();
        break;
    case QEvent::WindowDeactivate:
        emit resignedKey();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void ShelfPanel::paintEvent(QPaintEvent*) {
    if (!m_composited || m_cardRect.isEmpty())
        return;
    // A soft shadow around the card: rings of falling alpha out to the margin.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const double dx = m_motion.value(motion::Prop::TranslationX, 0.0);
    const QRectF card = m_cardRect.translated(std::round(dx), 0);
    for (int i = shadowMargin; i > 0; i -= 2) {
        const double t = 1.0 - double(i) / shadowMargin;
        p.setBrush(QColor(0, 0, 0, int(255 * 0.42 * 0.12 * t * t)));
        p.drawRoundedRect(card.adjusted(-i, -i, i, i), radius + i, radius + i);
    }
}

void ShelfPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && m_ctl) {
        m_ctl->escape();
        return;
    }
    QWidget::keyPressEvent(event);
}
