// The card's width and the thumbnail size: placement, live drags, the
// strip/board toggle and the delayed save.
#include "library/Library.h"
#include "panel/PanelController.h"
#include "shelf/Motion.h"

#include <QPointer>
#include <cmath>

QRectF PanelController::windowFrame() const {
    return PanelGeometry::windowFrame(screen(), Prefs::shared().side());
}

QRectF PanelController::cardScreenFrame() const {
    return PanelGeometry::cardScreenFrame(screen(), Prefs::shared().side(), m_width);
}

void PanelController::applyCard() {
    const QRectF card = PanelGeometry::cardInWindow(screen(), Prefs::shared().side(), m_width);
    if (m_parts.panel->cardRect() != card)
        m_parts.panel->setCardRect(card);
}

void PanelController::reposition() {
    m_parts.shelf->setSide(Prefs::shared().side());
    m_parts.shelf->layoutAll();
    if (expanded())
        m_parts.panel->setWindowFrame(windowFrame());
    applyCard();
    m_parts.tab->position();
}

void PanelController::setWidthLive(double w) {
    const double next = PanelGeometry::liveWidth(w, screen());
    if (std::abs(next - m_width) < 1)
        return;
    stopTween();
    m_width = next;
    applyCard();
}

void PanelController::setThumb(double t, bool live) {
    m_thumb = PanelGeometry::clampThumb(t);
    m_parts.grid->setTarget(m_thumb);
    if (PanelGeometry::oneColumn(m_width, m_thumb)) {
        // Strip mode: a single column's card follows the thumbnail.
        const double strip = PanelGeometry::stripWidth(m_thumb, screen());
        if (std::abs(strip - m_width) > 0.5) {
            const QSizeF before = m_parts.panel->cardRect().size();
            m_width = strip;
            applyCard();
            if (m_parts.panel->cardRect().size() != before) {
                persistSize();
                return;
            }
        }
    }
    m_parts.shelf->layoutGrid(!live);
    persistSize();
}

void PanelController::stepThumb(bool larger) {
    const double t = PanelCommands::steppedThumb(m_thumb, larger);
    m_parts.shelf->setSliderValue(t);
    setThumb(t, false);
}

void PanelController::persistSize() {
    m_deadlines->schedule(saveWork, PanelDelay::save, [this] {
        // Only what changed is written, so following a size set elsewhere
        // does not rewrite the width.
        Prefs& prefs = Prefs::shared();
        if (prefs.number(Key::width) != m_width)
            prefs.set(Key::width, m_width);
        m_storedThumb = m_thumb;
        if (prefs.number(Key::thumb) != m_thumb)
            prefs.set(Key::thumb, m_thumb);
    });
}

void PanelController::followStoredThumb(double stored) {
    // A save still waiting holds a newer size than the store.
    if (m_deadlines->pending(saveWork) || std::abs(stored - m_storedThumb) <= 0.5)
        return;
    m_storedThumb = stored;
    m_parts.shelf->setSliderValue(PanelGeometry::clampThumb(stored));
    setThumb(stored, false);
}

void PanelController::aspectChanged() {
    m_deadlines->schedule(aspectWork, PanelDelay::aspect,
                          [this] { m_parts.shelf->layoutGrid(true); });
}

void PanelController::handleDragged(double pointerX) {
    m_resizing = true;
    setWidthLive(PanelGeometry::handleWidth(pointerX, Prefs::shared().side(), screen()));
}

void PanelController::gripBegan() {
    m_resizing = true;
    m_dragStartWidth = m_width;
}

void PanelController::gripDragged(double dx) {
    setWidthLive(PanelGeometry::gripWidth(m_dragStartWidth, dx, Prefs::shared().side()));
}

void PanelController::widthDragEnded() {
    m_resizing = false;
    m_parts.grid->updateVisible();
    persistSize();
    pointerCheck();
}

void PanelController::gripDoubleClicked() {
    animateWidth(PanelGeometry::toggleTarget(m_width, m_thumb, screen()));
}

void PanelController::animateWidth(double target) {
    stopTween();
    motion::Animator& clock = animator();
    const double start = clock.now();
    const double from = m_width;
    m_tweenId = clock.addFrameCallback([this, start, from, target](double now) {
        const double p = std::min((now - start) / PanelGeometry::widthAnimationSeconds, 1.0);
        m_width = PanelGeometry::tweenWidth(from, target, p);
        applyCard();
        if (p < 1)
            return;
        stopTween();
        m_resizing = false;
        m_parts.grid->updateVisible();
        persistSize();
        pointerCheck();
    });
}

void PanelController::stopTween() {
    if (!m_tweenId)
        return;
    animator().removeFrameCallback(m_tweenId);
    m_tweenId = 0;
}
