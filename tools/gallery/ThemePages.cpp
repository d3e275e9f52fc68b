// Gallery pages of the theme: the palette, the symbols, the buttons in their
// states, the film glyph and mask, spaced capitals and caption stamps.
#include "Gallery.h"

#include "app/ui/TrayMenu.h"

#include "shelf/IconButton.h"
#include "shelf/Label.h"
#include "shelf/Theme.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>

namespace {

QFont captionFont() {
    return Theme::monoFont(9);
}

void caption(QPainter& p, const QRectF& rect, const QString& text,
             const QColor& color = Theme::ink3(), Qt::Alignment align = Qt::AlignLeft) {
    p.save();
    p.setFont(captionFont());
    p.setPen(color);
    p.drawText(rect, int(align | Qt::AlignVCenter) | Qt::TextSingleLine, text);
    p.restore();
}

QImage palettePage(double dpr) {
    struct Swatch {
        const char* name;
        QColor color;
    };
    const std::vector<Swatch> swatches{
        {"ink", Theme::ink()},       {"ink2", Theme::ink2()},
        {"ink3", Theme::ink3()},     {"ink4", Theme::ink4()},
        {"hair", Theme::hair()},     {"fill", Theme::fill()},
        {"fill2", Theme::fill2()},   {"perf", Theme::perf()},
        {"base", Theme::base()},     {"danger", Theme::danger()},
        {"accent", Theme::accent()}, {"accent 0.35", Theme::accentCG(0.35)},
    };
    const int cols = 4, cellW = 150, cellH = 96;
    const int rows = int(swatches.size() + cols - 1) / cols;
    QImage image = gallery::canvas(QSize(cols * cellW + 16, rows * cellH + 16), dpr);
    gallery::paintCardBackdrop(image);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (size_t i = 0; i < swatches.size(); ++i) {
        const QRectF cell(8 + int(i % cols) * cellW, 8 + int(i / cols) * cellH, cellW - 8,
                          cellH - 8);
        const QRectF chip(cell.left(), cell.top(), cell.width(), 44);
        // Half the chip over black shows a colour's alpha against the darkest card.
        p.fillRect(QRectF(chip.left(), chip.top(), chip.width() / 2, chip.height()), Qt::black);
        QPainterPath rounded;
        rounded.addRoundedRect(chip, 6, 6);
        p.fillPath(rounded, swatches[i].color);
        p.setPen(QPen(Theme::hair(), 0.5));
        p.drawPath(rounded);
        const QColor& c = swatches[i].color;
        caption(p, QRectF(cell.left(), chip.bottom() + 4, cell.width(), 14),
                QString::fromLatin1(swatches[i].name), Theme::ink());
        caption(p, QRectF(cell.left(), chip.bottom() + 18, cell.width(), 14),
                QStringLiteral("%1 a%2").arg(c.name()).arg(c.alphaF(), 0, 'f', 3));
    }
    return image;
}

QImage symbolsPage(double dpr) {
    const auto table = Theme::symbolTable();
    const int cols = 4, cellW = 250, cellH = 44;
    const int rows = int(table.size() + cols - 1) / cols;
    QImage image = gallery::canvas(QSize(cols * cellW + 16, rows * cellH + 40), dpr);
    gallery::paintCardBackdrop(image);
    QPainter p(&image);
    caption(p, QRectF(8, 4, 600, 24),
            QStringLiteral("symbol at 12 regular (ink2), 12 medium (ink), 26 light (ink4)"),
            Theme::ink2());
    for (size_t i = 0; i < table.size(); ++i) {
        const QRectF cell(8 + int(i % cols) * cellW, 32 + int(i / cols) * cellH, cellW - 6,
                          cellH - 6);
        p.fillRect(cell, Theme::fill());
        const QString name = QString::fromLatin1(table[i].name);
        Theme::paintSymbol(p, QRectF(cell.left(), cell.top(), 24, cell.height()), name, 12,
                           Theme::ink2());
        Theme::paintSymbol(p, QRectF(cell.left() + 22, cell.top(), 24, cell.height()), name, 12,
                           Theme::ink(), QFont::Medium);
        Theme::paintSymbol(p, QRectF(cell.left() + 46, cell.top(), 36, cell.height()), name, 26,
                           Theme::ink4(), QFont::Light);
        caption(p, QRectF(cell.left() + 84, cell.top(), cell.width() - 86, cell.height()), name,
                Theme::ink2());
    }
    return image;
}

struct ButtonRow {
    const char* label;
    IconButton::Look look;
    int size;
};

std::vector<ButtonRow> buttonRows() {
    const QColor clear(0, 0, 0, 0);
    auto header = [](const char* symbol, double point) {
        return IconButton::Look{QString::fromLatin1(symbol),
                                point,
                                QFont::Normal,
                                Theme::ink2(),
                                Theme::ink(),
                                std::nullopt,
                                Theme::fill2(),
                                6};
    };
    return {
        {"header search", header("magnifyingglass", 12), 24},
        {"header pin", header("pin", 12), 24},
        {"header pinned",
         {"pin.fill", 12, QFont::Normal, Theme::ink(), Theme::ink(), std::nullopt, Theme::fill2(),
          6},
         24},
        {"header settings", header("gearshape", 12), 24},
        {"header close", header("xmark", 11), 24},
        {"search clear",
         {"xmark.circle.fill", 11, QFont::Normal, Theme::ink3(), Theme::ink(), std::nullopt, clear,
          6},
         20},
        {"cell trash",
         {"trash", 10.5, QFont::Medium, Theme::ink(), Qt::white, QColor(0, 0, 0, 140),
          Theme::withAlpha(Theme::danger(), 0.92), 7},
         24},
        {"cell copy",
         {"doc.on.doc", 10.5, QFont::Medium, Theme::ink(), Theme::ink(), QColor(0, 0, 0, 140),
          QColor(0, 0, 0, 204), 7},
         24},
        {"bar move",
         {"folder", 12.5, QFont::Normal, Theme::ink(), Theme::ink(), std::nullopt, Theme::fill2(),
          6},
         28},
        {"bar copy",
         {"doc.on.doc", 12, QFont::Normal, Theme::ink(), Theme::ink(), std::nullopt, Theme::fill2(),
          6},
         28},
        {"bar share",
         {"square.and.arrow.up", 12.5, QFont::Normal, Theme::ink(), Theme::ink(), std::nullopt,
          Theme::fill2(), 6},
         28},
        {"bar trash",
         {"trash", 12.5, QFont::Normal, Theme::ink(), Theme::danger(), std::nullopt,
          Theme::withAlpha(Theme::danger(), 0.18), 6},
         28},
        {"bar clear",
         {"xmark", 11, QFont::Normal, Theme::ink2(), Theme::ink(), std::nullopt, Theme::fill2(), 6},
         28},
    };
}

// Real IconButton widgets: the left one at rest, the right one after a pointer
// entry and a finished fade; the strip between shows the painted face mid-fade.
std::unique_ptr<QWidget> buttonsPage() {
    auto page = std::make_unique<QWidget>();
    page->setAttribute(Qt::WA_StyledBackground, false);
    static motion::Animator clock(0.0);
    const auto rows = buttonRows();
    page->resize(420, int(rows.size()) * 36 + 40);
    struct Backdrop final : QWidget {
        using QWidget::QWidget;
        void paintEvent(QPaintEvent*) override {
            QImage image = gallery::canvas(size(), 1);
            gallery::paintCardBackdrop(image);
            QPainter p(this);
            p.drawImage(0, 0, image);
            caption(p, QRectF(12, 6, 60, 20), QStringLiteral("rest"), Theme::ink2());
            caption(p, QRectF(76, 6, 60, 20), QStringLiteral("hover"), Theme::ink2());
            caption(p, QRectF(140, 6, 200, 20), QStringLiteral("fade 0.25 / 0.5 / 0.75"),
                    Theme::ink2());
        }
    };
    auto* backdrop = new Backdrop(page.get());
    backdrop->resize(page->size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const ButtonRow& row = rows[i];
        const int y = 32 + int(i) * 36;
        for (int lit = 0; lit < 2; ++lit) {
            auto* b = new IconButton(row.look.symbol, row.size, row.look.point, row.look.weight,
                                     row.look.tint, row.look.hoverTint, row.look.bg,
                                     row.look.hoverBg, row.look.radius, {}, page.get(), &clock);
            b->move(12 + lit * 64, y + (28 - row.size) / 2);
            if (lit) {
                QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4));
                QApplication::sendEvent(b, &enter);
            }
        }
        struct Fades final : QWidget {
            Fades(QWidget* parent, IconButton::Look look, int size, const char* label)
                : QWidget(parent)
                , m_look(std::move(look))
                , m_size(size)
                , m_label(QString::fromLatin1(label)) {}
            void paintEvent(QPaintEvent*) override {
                QPainter p(this);
                for (int k = 1; k <= 3; ++k)
                    IconButton::paintLook(p,
                                          QRectF((k - 1) * 36, (28 - m_size) / 2.0, m_size, m_size),
                                          m_look, k * 0.25);
                caption(p, QRectF(118, 0, 160, 28), m_label, Theme::ink3());
            }
            IconButton::Look m_look;
            int m_size;
            QString m_label;
        };
        auto* fades = new Fades(page.get(), row.look, row.size, row.label);
        fades->setGeometry(140, y, 280, 28);
    }
    // Every page render makes new buttons; finish their fades on the shared clock.
    clock.advanceTo(clock.now() + 1.0);
    return page;
}

QImage filmPage(double dpr) {
    QImage image = gallery::canvas(QSize(560, 200), dpr);
    gallery::paintCardBackdrop(image);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    double x = 12;
    for (double side : {14.0, 18.0, 36.0, 72.0, 144.0}) {
        const QImage glyph = Theme::filmGlyph(side, Theme::ink2(), dpr);
        p.drawImage(QPointF(x, 16), glyph);
        caption(p, QRectF(x, 16 + side + 2, side + 30, 14), QString::number(side));
        x += side + 16;
    }
    // The mask as made, and stretched as nine parts with insets of its radius
    // over a card-sized rectangle, as the card uses it.
    const double r = 12;
    const QImage mask = Theme::maskImage(r, dpr);
    p.drawImage(QPointF(x, 16), mask);
    caption(p, QRectF(x, 46, 60, 14), QStringLiteral("mask 12"));
    const QRectF card(x + 40, 16, 90, 150);
    const double m = 2 * r + 2, src[4] = {0, r, r + 2, m};
    const double dx[4] = {card.left(), card.left() + r, card.right() - r, card.right()};
    const double dy[4] = {card.top(), card.top() + r, card.bottom() - r, card.bottom()};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const QRectF from(src[i] * dpr, src[j] * dpr, (src[i + 1] - src[i]) * dpr,
                              (src[j + 1] - src[j]) * dpr);
            p.drawImage(QRectF(dx[i], dy[j], dx[i + 1] - dx[i], dy[j + 1] - dy[j]), mask, from);
        }
    }
    caption(p, QRectF(card.left(), card.bottom() + 2, 120, 14), QStringLiteral("nine parts"));
    return image;
}

QImage capsPage(double dpr) {
    QImage image = gallery::canvas(QSize(460, 270), dpr);
    gallery::paintCardBackdrop(image);
    QPainter p(&image);
    double y = 14;
    auto line = [&](const Theme::Caps& caps, const QString& note) {
        caps.paint(p, QPointF(14, y));
        caption(p, QRectF(250, y - 2, 200, caps.size().height() + 4), note);
        y += caps.size().height() + 14;
    };
    line(Theme::caps(QStringLiteral("Tamberk"), 10.5, QFont::DemiBold, Theme::ink(), 2.6),
         QStringLiteral("brand 10.5 semibold kern 2.6"));
    line(Theme::caps(QStringLiteral("3  selected"), 10, QFont::DemiBold, Theme::ink(), 1.2),
         QStringLiteral("selection 10 semibold kern 1.2"));
    line(Theme::caps(QStringLiteral("Tamberk  \u00b7  Tamberk 0.1.0"), 9, QFont::Medium,
                     Theme::ink3(), 1.2),
         QStringLiteral("menu brand 9 medium kern 1.2"));
    line(Theme::caps(QStringLiteral("End of roll"), 9, QFont::Medium, Theme::ink4(), 1.6),
         QStringLiteral("9 medium kern 1.6, ink4"));

    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime morning(now.date(), QTime(3, 9));
    const std::vector<std::pair<QDateTime, QString>> stamps{
        {morning, QStringLiteral("today 03:09")},
        {QDateTime(now.date(), QTime(15, 42)), QStringLiteral("today 15:42")},
        {morning.addDays(-1), QStringLiteral("yesterday")},
        {QDateTime(QDate(now.date().year(), 3, 17), QTime(9, 0)), QStringLiteral("17 March")},
    };
    y += 6;
    for (const auto& [date, note] : stamps) {
        p.setFont(Theme::monoFont(9, QFont::Medium));
        p.setPen(Theme::ink4());
        p.drawText(QPointF(14, y + 10), Theme::stamp(date, now));
        caption(p, QRectF(250, y, 200, 14), note);
        y += 20;
    }
    y += 8;
    p.setFont(Theme::font(12.5));
    p.setPen(Theme::ink());
    p.drawText(QPointF(14, y + 12), QStringLiteral("System font 12.5: Search text inside frames"));
    y += 22;
    p.setFont(Theme::monoFont(10.5, QFont::Medium));
    p.setPen(Theme::ink3());
    p.drawText(QPointF(14, y + 10), QStringLiteral("Mono 10.5 medium: 3/12"));
    return image;
}

// Labels at their size and squeezed: tail truncation and clipping.
std::unique_ptr<QWidget> labelsPage() {
    auto page = std::make_unique<QWidget>();
    page->resize(320, 120);
    page->setAutoFillBackground(true);
    QPalette pal = page->palette();
    pal.setColor(QPalette::Window, QColor(0x1d, 0x1e, 0x22));
    page->setPalette(pal);
    const QString name = QStringLiteral("Screenshot 2026-12-05 at 15.42.10.png");
    auto* whole = new Label(name, Theme::font(12.5), Theme::ink(), page.get());
    whole->setGeometry(10, 10, 300, 20);
    auto* tail = new Label(name, Theme::font(12.5), Theme::ink2(), page.get());
    tail->setGeometry(10, 36, 140, 20);
    auto* clip = new Label(name, Theme::font(12.5), Theme::ink3(), page.get());
    clip->setElideMode(Qt::ElideNone);
    clip->setGeometry(10, 62, 140, 20);
    auto* brand = new Label(QString(), Theme::monoFont(10.5), Theme::ink(), page.get());
    brand->setCaps(
        Theme::caps(QStringLiteral("Tamberk"), 10.5, QFont::DemiBold, Theme::ink(), 2.6));
    brand->setElideMode(Qt::ElideNone);
    brand->setGeometry(10, 88, 100, 20);
    return page;
}

// The tray's menu as the app fills it, pinned, with a row under the pointer.
std::unique_ptr<QWidget> menuPage() {
    auto menu = std::make_unique<QMenu>();
    TrayFacts facts;
    facts.sessionCount = 3;
    facts.pinned = true;
    facts.root = QStringLiteral("/home/user/Pictures/Screenshots");
    TrayMenu::fill(menu.get(), TrayMenu::rows(facts), [](TrayAction) {});
    menu->setActiveAction(menu->actions().at(3));
    menu->adjustSize();
    return menu;
}

} // namespace

GALLERY_IMAGE_PAGE(theme_palette, palettePage)
GALLERY_IMAGE_PAGE(theme_symbols, symbolsPage)
GALLERY_WIDGET_PAGE(theme_buttons, buttonsPage)
GALLERY_IMAGE_PAGE(theme_film_mask, filmPage)
GALLERY_IMAGE_PAGE(theme_caps_stamp, capsPage)
GALLERY_WIDGET_PAGE(theme_labels, labelsPage)
GALLERY_WIDGET_PAGE(theme_menu, menuPage)
