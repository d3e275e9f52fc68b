#include "shelf/ShelfView.h"

#include "grid/GridView.h"

#include "shelf/EmptyStateView.h"
#include "shelf/FooterBar.h"
#include "shelf/HScrollView.h"
#include "shelf/IconButton.h"
#include "shelf/PerfStrip.h"
#include "shelf/ResizeGrip.h"
#include "shelf/ResizeHandle.h"
#include "shelf/SearchBox.h"
#include "shelf/SelectionBar.h"
#include "shelf/ShelfHeader.h"
#include "shelf/ShelfLayout.h"
#include "shelf/ShelfReceiver.h"
#include "shelf/Theme.h"
#include "shelf/ToastView.h"

#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>

namespace {

// The hairline outline on top of everything; it never takes the pointer.
class CardBorder final : public QWidget {
public:
    explicit CardBorder(QWidget* parent)
        : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.14), 0.5));
        p.setBrush(Qt::NoBrush);
        const double r = ShelfLayout::radius;
        p.drawRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), r, r);
    }
};

QRect aligned(const QRectF& r) {
    return r.toAlignedRect();
}

} // namespace

ShelfView::ShelfView(QWidget* parent, motion::Animator* animator, Scheduler* scheduler,
                     Thumbs* thumbs)
    : QWidget(parent)
    , m_selection([this] { applySelectionFade(); }, animator) {
    resize(268, 720);
    buildViews(animator, scheduler, thumbs);
    wireHeader();
    wireSearch();
    layoutAll();
}

ShelfView::~ShelfView() = default;

void ShelfView::buildViews(motion::Animator* animator, Scheduler* scheduler, Thumbs* thumbs) {
    // Created in stacking order, bottom to top.
    m_perfL = new PerfStrip(this);
    m_perfR = new PerfStrip(this);

    m_roll = new QScrollArea(this);
    m_roll->setFrameShape(QFrame::NoFrame);
    m_roll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_roll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_roll->setWidgetResizable(false);
    // The roll scrolls with the grid's own keys; a stop of its own would hide the focus.
    m_roll->setFocusPolicy(Qt::NoFocus);
    m_roll->setAutoFillBackground(false);
    m_roll->viewport()->setAutoFillBackground(false);
    m_grid = new GridView(nullptr, animator, thumbs);
    m_grid->resize(236, 400);
    m_roll->setWidget(m_grid);
    m_grid->setAutoFillBackground(false); // setWidget turned it on; the card shows through
    connect(m_roll->verticalScrollBar(), &QScrollBar::valueChanged, this, &ShelfView::scrolled);

    m_empty = new EmptyStateView(this);
    m_empty->onOpenSettings = [this] {
        if (m_receiver)
            m_receiver->showSettings();
    };
    m_empty->hide();

    m_header = new ShelfHeader(this, animator);
    m_headerOpacity = new QGraphicsOpacityEffect(m_header);
    m_headerOpacity->setOpacity(1);
    m_headerOpacity->setEnabled(false);
    m_header->setGraphicsEffect(m_headerOpacity);

    m_chipsScroll = new HScrollView(this);
    m_chipsDoc = new QWidget;
    m_chipsScroll->setWidget(m_chipsDoc);
    m_chipsDoc->setAutoFillBackground(false);
    m_chipDivider = new QWidget(m_chipsDoc);
    m_chipDivider->setAutoFillBackground(true);
    QPalette dividerPalette = m_chipDivider->palette();
    dividerPalette.setColor(QPalette::Window, Theme::fill2());
    m_chipDivider->setPalette(dividerPalette);
    m_chipDivider->setGeometry(0, 9, 1, 12);
    m_subScroll = new HScrollView(this);
    // Screen readers tell the two rows apart by these names.
    m_chipsScroll->setAccessibleName(QStringLiteral("Folders"));
    m_subScroll->setAccessibleName(QStringLiteral("Subfolders"));
    m_subDoc = new QWidget;
    m_subScroll->setWidget(m_subDoc);
    m_subDoc->setAutoFillBackground(false);
    m_subScroll->hide();

    m_search = new SearchBox(this, animator);
    m_search->hide();

    m_footer = new FooterBar(this, animator);

    m_selBar = new SelectionBar(this, animator);
    m_barOpacity = new QGraphicsOpacityEffect(m_selBar);
    m_barOpacity->setOpacity(0);
    m_selBar->setGraphicsEffect(m_barOpacity);
    m_selBar->hide();

    m_toast = new ToastView(this, animator, scheduler);
    m_handle = new ResizeHandle(this);
    m_grip = new ResizeGrip(this);
    m_border = new CardBorder(this);
}

void ShelfView::wireHeader() {
    // The buttons reach the controller through the shelf at click time, so a
    // controller that is gone by then is simply not called.
    m_header->searchB->onClick = [this] { toggleSearch(); };
    m_header->pinB->onClick = [this] {
        if (m_receiver)
            m_receiver->togglePin();
    };
    m_header->gearB->onClick = [this] {
        if (m_receiver)
            m_receiver->showSettings();
    };
    m_header->closeB->onClick = [this] {
        if (m_receiver)
            m_receiver->collapse(true);
    };
}

void ShelfView::layoutAll() {
    const ShelfLayout::Frames f =
        ShelfLayout::card({size(), subVisible(), m_searchVisible, m_side});
    m_gridTop = f.top;
    m_border->setGeometry(rect());
    m_header->setGeometry(0, 0, width(), int(ShelfLayout::headerH));
    m_chipsScroll->setGeometry(aligned(f.chips));
    m_subScroll->setGeometry(aligned(f.sub));
    m_subScroll->setVisible(subVisible());
    layoutChips();
    m_search->setGeometry(aligned(f.search));
    m_search->setVisible(m_searchVisible);
    m_sepTop = f.sepTop;
    m_sepBottom = f.sepBottom;
    m_grip->setSide(m_side);
    m_footer->setSide(m_side);
    m_grip->setGeometry(aligned(f.grip));
    m_footer->setGeometry(aligned(f.footer));
    m_selBar->setGeometry(aligned(f.selBar));
    m_perfL->setGeometry(aligned(f.perfL));
    m_perfR->setGeometry(aligned(f.perfR));
    m_roll->setGeometry(aligned(f.roll));
    m_empty->setGeometry(aligned(f.empty));
    m_toast->setArea(f.toastArea);
    m_handle->setSide(m_side);
    m_handle->setGeometry(aligned(f.handle));
    layoutGrid(false);
    update();
}

void ShelfView::layoutGrid(bool animated) {
    // Not the viewport's own size: a hidden scroll area lays its viewport out
    // only when shown, and the panel fills the roll before it maps. With both
    // scroll bars off the two sizes are the same once shown.
    const QSize s = m_roll->maximumViewportSize();
    m_grid->setViewportHeight(s.height());
    if (std::abs(m_grid->width() - s.width()) > 0.5)
        m_grid->resize(s.width(), std::max(m_grid->height(), s.height()));
    m_grid->relayout(animated);
    m_footer->setColumns(m_grid->columns());
    scrolled();
}

void ShelfView::scrolled() {
    const double shift = ShelfLayout::perforationShift(m_roll->verticalScrollBar()->value());
    m_perfL->setShift(shift);
    m_perfR->setShift(shift);
    m_grid->updateVisible();
}

QString ShelfView::countText() const {
    return m_header->count();
}

void ShelfView::setCount(qint64 n, std::optional<qint64> total) {
    const QString text = total ? QStringLiteral("%1/%2").arg(n).arg(*total) : QString::number(n);
    // With a total the count can grow to the total itself: room for that is
    // decided once per total, not on every keystroke of a search.
    const QString widest = total ? QStringLiteral("%1/%1").arg(*total) : text;
    m_header->setCount(text, widest); // lays the header out only when the room changes
}

void ShelfView::updatePin(bool pinned) {
    IconButton* pin = m_header->pinB;
    pin->setSymbol(pinned ? QStringLiteral("pin.fill") : QStringLiteral("pin"));
    pin->setBaseTint(pinned ? Theme::ink() : Theme::ink2());
    pin->setToolTip(pinned ? QStringLiteral("Unpin (closes when you leave)")
                           : QStringLiteral("Keep open"));
    pin->refresh();
}

void ShelfView::updateSelection(int n) {
    m_selBar->setN(n);
    m_selBar->place();
    m_selection.update(n);
}

void ShelfView::applySelectionFade() {
    m_selBar->setVisible(m_selection.barVisible());
    // At rest the effects are off: a fully opaque view draws directly.
    m_barOpacity->setOpacity(m_selection.barOpacity());
    m_barOpacity->setEnabled(m_selection.barOpacity() < 1);
    m_headerOpacity->setOpacity(m_selection.headerOpacity());
    m_headerOpacity->setEnabled(m_selection.headerOpacity() < 1);
    // A header that cannot be seen must not take clicks meant for the bar.
    m_header->setAttribute(Qt::WA_TransparentForMouseEvents, m_selection.headerOpacity() < 0.01);
}

void ShelfView::showToast(const QString& text, bool undo) {
    if (!undo) {
        m_toast->show(text);
        return;
    }
    QPointer<ShelfView> self(this);
    m_toast->show(text, QStringLiteral("Undo"), [self] {
        if (self && self->m_receiver)
            self->m_receiver->undo();
    });
}

void ShelfView::setComposited(bool composited) {
    if (composited == m_composited)
        return;
    m_composited = composited;
    update();
}

void ShelfView::paintShadow(QPainter& painter, const QRectF& card) {
    // Black at 0.42 spread over a radius of 18: a few widening rounded outlines of
    // falling alpha approximate the blur well enough at this size.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    const int steps = 12;
    for (int i = steps; i >= 1; --i) {
        const double spread = 18.0 * i / steps;
        const double alpha = 0.42 * (1.0 - double(i) / (steps + 1)) / steps * 2.2;
        painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, alpha), 18.0 / steps + 0.5));
        const double r = ShelfLayout::radius + spread;
        painter.drawRoundedRect(card.adjusted(-spread, -spread, spread, spread), r, r);
    }
    painter.restore();
}

void ShelfView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor tint = Theme::base();
    if (!m_composited)
        tint.setAlphaF(1); // nothing behind the window would show through
    p.setPen(Qt::NoPen);
    p.setBrush(tint);
    const double r = ShelfLayout::radius;
    p.drawRoundedRect(QRectF(rect()), r, r);
    p.setBrush(Theme::hair());
    p.drawRect(m_sepTop);
    p.drawRect(m_sepBottom);
}

void ShelfView::resizeEvent(QResizeEvent*) {
    layoutAll();
}

void ShelfView::enterEvent(QEnterEvent*) {
    if (m_receiver)
        m_receiver->mouseInPanel(true);
}

void ShelfView::leaveEvent(QEvent*) {
    if (m_receiver)
        m_receiver->mouseInPanel(false);
}

void ShelfView::mousePressEvent(QMouseEvent* event) {
    // A press on the card's own background hands the keyboard to the grid.
    focusGrid();
    event->accept();
}

void ShelfView::focusGrid() {
    m_grid->setFocus(Qt::OtherFocusReason);
}
