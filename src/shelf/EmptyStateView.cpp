#include "shelf/EmptyStateView.h"

#include "library/ShownName.h"
#include "shelf/Announce.h"
#include "shelf/ReadingNote.h"
#include "shelf/ShelfLayout.h"
#include "shelf/Theme.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QPainter>
#include <QPushButton>
#include <cmath>

namespace {

QFont keyFont() {
    return Theme::monoFont(11, QFont::Medium);
}

QFont subFont() {
    return Theme::font(11.5);
}

double keycapWidth(const QString& key) {
    return std::max(22.0, std::ceil(QFontMetricsF(keyFont()).horizontalAdvance(key)) + 10);
}

} // namespace

EmptyStateView::EmptyStateView(QWidget* parent)
    : QWidget(parent)
    , m_button(new QPushButton(QStringLiteral("Open Settings"), parent)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_button->setFont(Theme::font(12));
    // A small rounded button in the card's own colours rather than the desktop's.
    m_button->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: 0.5px "
                                           "solid %3; border-radius: 6px; padding: 3px 12px; }"
                                           "QPushButton:hover { background: %4; }"
                                           "QPushButton:pressed { background: %5; }")
                                .arg(Theme::ink().name(QColor::HexArgb),
                                     Theme::fill2().name(QColor::HexArgb),
                                     QColor::fromRgbF(1, 1, 1, 0.22).name(QColor::HexArgb),
                                     QColor::fromRgbF(1, 1, 1, 0.18).name(QColor::HexArgb),
                                     QColor::fromRgbF(1, 1, 1, 0.26).name(QColor::HexArgb)));
    m_button->setCursor(Qt::ArrowCursor);
    m_button->hide();
    connect(m_button, &QPushButton::clicked, this, [this] {
        if (onOpenSettings)
            onOpenSettings();
    });
}

EmptyStateView::~EmptyStateView() {
    delete m_button;
}

void EmptyStateView::setState(const std::optional<State>& state) {
    if (state == m_state)
        return;
    m_state = state;
    if (!state)
        return; // the controller hides the view; the last content stays
    ++m_rebuilds;
    m_keys.clear();
    m_buttonShown = false;
    switch (state->kind) {
    case State::Kind::noMatches:
        m_symbol = QStringLiteral("text.magnifyingglass");
        m_title = QStringLiteral("Nothing matches \u201c") + state->text + QStringLiteral("\u201d");
        // While frames wait for recognition the answer may still change.
        m_sub = state->pending > 0
                    ? ReadingNote::text(state->pending, true)
                    : QStringLiteral("Search looks at file names and the text inside your frames.");
        break;
    case State::Kind::unreadable:
        m_symbol = QStringLiteral("lock");
        // One kind of apostrophe in all the app's texts: the straight one.
        m_title =
            QStringLiteral("Can't read \u201c") + shownName(state->text) + QStringLiteral("\u201d");
        m_sub = QStringLiteral("Check the folder's permissions, or choose another folder.");
        m_buttonShown = true;
        break;
    case State::Kind::noShots:
        m_symbol = QStringLiteral("camera.viewfinder");
        m_title = QStringLiteral("No frames yet");
        m_sub = QStringLiteral("to shoot");
        m_keys = {QStringLiteral("PrtSc")};
        break;
    case State::Kind::emptyFolder:
        m_symbol = QStringLiteral("folder");
        m_title = QStringLiteral("Empty folder");
        m_sub = QStringLiteral("Drag frames onto a folder chip to file them here.");
        break;
    case State::Kind::loading:
        m_symbol = QStringLiteral("film");
        m_title = QStringLiteral("Loading roll\u2026");
        m_sub.clear();
        break;
    }
    place();
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    announce::send(changed);
}

double EmptyStateView::keysWidth() const {
    double w = 0;
    for (const QString& key : m_keys)
        w += keycapWidth(key);
    if (m_keys.size() > 1)
        w += 4 * (m_keys.size() - 1);
    return w;
}

void EmptyStateView::place() {
    const double subWidth = QFontMetricsF(subFont()).horizontalAdvance(m_sub);
    const ShelfLayout::Empty e = ShelfLayout::empty(size(), m_keys.isEmpty() ? 0 : keysWidth(),
                                                    subWidth, m_button->sizeHint());
    m_iconRect = e.icon;
    m_titleRect = e.title;
    m_subRect = e.sub;
    m_keysRect = e.keys;
    m_button->setGeometry(e.button.translated(pos()).toAlignedRect());
    m_button->setVisible(isVisible() && m_buttonShown);
    m_button->raise();
    update();
}

void EmptyStateView::setVisible(bool visible) {
    QWidget::setVisible(visible);
    m_button->setVisible(visible && m_buttonShown);
}

void EmptyStateView::resizeEvent(QResizeEvent*) {
    place();
}

void EmptyStateView::moveEvent(QMoveEvent*) {
    place();
}

void EmptyStateView::paintEvent(QPaintEvent*) {
    if (!m_state && m_title.isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    Theme::paintSymbol(p, m_iconRect, m_symbol, 26, Theme::ink4(), QFont::Light);

    const QFont titleFont = Theme::font(13, QFont::Medium);
    p.setFont(titleFont);
    p.setPen(Theme::ink2());
    p.drawText(m_titleRect, Qt::AlignCenter,
               QFontMetricsF(titleFont).elidedText(m_title, Qt::ElideRight, m_titleRect.width()));

    p.setFont(subFont());
    p.setPen(Theme::ink3());
    if (m_keys.isEmpty()) {
        p.drawText(m_subRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_sub);
        return;
    }
    p.drawText(m_subRect, Qt::AlignLeft | Qt::AlignVCenter, m_sub);
    // Keycaps: boxes with a faint outline, the key centred inside.
    double x = m_keysRect.left();
    p.setFont(keyFont());
    for (const QString& key : m_keys) {
        const QRectF cap(x, m_keysRect.top(), keycapWidth(key), 22);
        p.setPen(QPen(Theme::ink4(), 0.5));
        p.setBrush(Theme::fill());
        p.drawRoundedRect(cap.adjusted(0.25, 0.25, -0.25, -0.25), 5, 5);
        p.setPen(Theme::ink2());
        p.drawText(cap, Qt::AlignCenter, key);
        x = cap.right() + 4;
    }
}
