#include "OcrHardCorpus.h"
#include "OcrHardCanvas.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStyleFactory>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>
#include <memory>

namespace hard {

QStringList tokens(const QString& text) {
    static const QRegularExpression split(QStringLiteral("[^\\p{L}\\p{N}]+"));
    QStringList out;
    for (const QString& piece : text.toLower().split(split, Qt::SkipEmptyParts)) {
        if (piece.size() >= 2)
            out.append(piece);
    }
    return out;
}

Theme theme(bool dark) {
    if (dark)
        return {true,
                QColor(30, 30, 33),
                QColor(228, 228, 230),
                QColor(150, 150, 156),
                QColor(118, 118, 124),
                QColor(40, 40, 44),
                QColor(48, 48, 53),
                QColor(64, 64, 70),
                QColor(110, 170, 255)};
    return {false,
            QColor(255, 255, 255),
            QColor(28, 28, 30),
            QColor(110, 110, 116),
            QColor(150, 150, 156),
            QColor(242, 242, 246),
            QColor(232, 232, 236),
            QColor(214, 214, 220),
            QColor(20, 100, 210)};
}

QPalette palette(const Theme& t) {
    QPalette pal = QApplication::style()->standardPalette();
    if (!t.dark)
        return pal;
    pal.setColor(QPalette::Window, QColor(45, 45, 48));
    pal.setColor(QPalette::WindowText, QColor(220, 220, 222));
    pal.setColor(QPalette::Base, QColor(30, 30, 32));
    pal.setColor(QPalette::AlternateBase, QColor(40, 40, 44));
    pal.setColor(QPalette::Text, QColor(220, 220, 222));
    pal.setColor(QPalette::Button, QColor(60, 60, 64));
    pal.setColor(QPalette::ButtonText, QColor(220, 220, 222));
    pal.setColor(QPalette::Highlight, QColor(10, 100, 200));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    return pal;
}

// One window. Sizes are logical; `ratio` 2 draws everything twice as large.
Image window(const char* const* words, int wordCount, int index, QSize logical, qreal ratio,
             bool dark) {
    QImage image((QSizeF(logical) * ratio).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    const Theme t = theme(dark);
    image.fill(t.bg);
    Window w(image, words, wordCount, quint32(7000 + 31 * index), t);
    const int W = logical.width(), H = logical.height();
    const auto accent = [&] { return kAccents[w.rng.bounded(kAccentCount)]; };
    const auto size = [&] {
        static const int sizes[] = {11, 11, 12, 12, 13, 13, 14, 15, 16, 18, 20};
        return sizes[w.rng.bounded(11)];
    };

    // Title bar and toolbar with accent buttons.
    w.p.fillRect(0, 0, W, 30, t.bar);
    w.text(QRect(0, 0, W, 30), w.sentence(3), w.face(13, 0), t.fg, Qt::AlignCenter);
    w.p.fillRect(0, 30, W, 1, t.line);
    int x = 250;
    for (int i = 0; i < 5 && x < W - 200; ++i) {
        const bool filled = i < 3 || w.rng.bounded(2) == 0;
        if (filled) {
            x += w.pill(QPoint(x, 38), w.sentence(1 + i % 2), 13, accent(), 28, i % 2 == 0) + 12;
        } else {
            const QFont font = w.face(13, 0);
            x += w.text(QRect(x, 38, 200, 28), w.sentence(1), font, t.dim) + 20;
        }
    }
    w.p.fillRect(0, 74, W, 1, t.line);

    // Sidebar: section titles in small grey capitals, items, one selected
    // item on the accent colour, count badges.
    w.p.fillRect(0, 75, 230, H - 75 - 26, t.side);
    int y = 88;
    for (int i = 0; y < H - 60; ++i) {
        if (i % 6 == 0) {
            QFont font = w.face(11, 0);
            font.setBold(true);
            w.text(QRect(16, y, 200, 18), w.sentence(2).toUpper(), font, t.faint);
            y += 24;
            continue;
        }
        const int px = 12 + int(w.rng.bounded(3));
        if (i == 3) {
            w.p.setPen(Qt::NoPen);
            w.p.setBrush(kAccents[index % kAccentCount]);
            w.p.drawRoundedRect(QRect(8, y - 2, 214, 26), 6, 6);
            w.text(QRect(20, y, 150, 22), w.sentence(2), w.face(px, 1), Qt::white);
        } else {
            w.text(QRect(20, y, 150, 22), w.sentence(1 + i % 2), w.face(px, 1),
                   i % 4 == 2 ? t.dim : t.fg);
        }
        if (i % 4 == 1)
            w.pill(QPoint(180, y + 3), QString::number(w.rng.bounded(1, 99)), 11, accent(), 17);
        y += 28;
    }

    // The main column: a heading, a banner on a strong colour, paragraphs
    // in mixed faces and contrasts, a tinted band, a row of tags.
    const int right = W - (W >= 1900 ? 720 : 600);
    y = 90;
    QFont heading = w.face(26, int(w.rng.bounded(4)));
    heading.setBold(true);
    w.text(QRect(260, y, right - 280, 36), w.sentence(3), heading, t.fg);
    y += 40;
    w.text(QRect(260, y, right - 280, 20), w.sentence(7), w.face(13, 0), t.dim);
    y += 30;
    const QColor banner = accent();
    w.p.setPen(Qt::NoPen);
    w.p.setBrush(banner);
    w.p.drawRoundedRect(QRect(250, y, right - 260, 34), 6, 6);
    w.text(QRect(264, y, right - 290, 34), w.sentence(8), w.face(13, 1), Qt::white);
    y += 48;
    for (int i = 0; y < H - 150; ++i) {
        if (i % 5 == 3) {
            const QColor tint = t.dark ? QColor(60, 52, 24) : QColor(255, 244, 206);
            w.p.fillRect(250, y, right - 260, 30, tint);
            w.text(QRect(262, y, right - 290, 30), w.sentence(9), w.face(13),
                   t.dark ? QColor(240, 210, 120) : QColor(120, 80, 0));
            y += 40;
            continue;
        }
        if (i % 5 == 1) {
            int tx = 260;
            for (int k = 0; k < 5 && tx < right - 150; ++k) {
                if (k % 2 == 0) {
                    tx +=
                        w.pill(QPoint(tx, y), w.word(), 11 + int(w.rng.bounded(2)), accent(), 20) +
                        8;
                } else {
                    // A soft pill: coloured text on a light tint of that colour.
                    // Near-black has no light tint; it is left to the filled pills.
                    const QColor c = kAccents[w.rng.bounded(kAccentCount - 1)];
                    const QColor soft = t.dark ? c.darker(300) : c.lighter(185);
                    QFont font = w.face(12, 0);
                    const QString label = w.word();
                    const int width = QFontMetrics(font).horizontalAdvance(label) + 20;
                    w.p.setPen(Qt::NoPen);
                    w.p.setBrush(soft);
                    w.p.drawRoundedRect(QRect(tx, y, width, 20), 10, 10);
                    w.text(QRect(tx, y, width, 20), label, font, t.dark ? c.lighter(140) : c,
                           Qt::AlignCenter);
                    tx += width + 8;
                }
            }
            y += 32;
            continue;
        }
        const int px = size();
        const QColor colour = i % 4 == 2   ? t.dim
                              : i % 7 == 5 ? t.faint
                              : i % 9 == 4 ? t.link
                                           : t.fg;
        w.text(QRect(260, y, right - 280, px * 2), w.sentence(16), w.face(px), colour);
        y += px * 2 + int(w.rng.bounded(6));
    }

    // The right column: real widgets, as many as fit.
    QApplication::setPalette(palette(t));
    std::vector<std::function<Widget()>> makers = {
        [&] { return table(w, 12 + int(w.rng.bounded(2))); },
        [&] { return code(w, 12 + int(w.rng.bounded(2)), t.dark); },
        [&] { return dialog(w, 12 + int(w.rng.bounded(2))); },
        [&] { return terminal(w, 12 + int(w.rng.bounded(2))); },
        [&] { return menu(w, 13); },
        [&] { return buttons(w, 13); },
    };
    y = 90;
    const int left = right + 20;
    for (int k = 0; k < int(makers.size()); ++k) {
        Widget made = makers[(index + k) % makers.size()]();
        const QSize s = made.widget->size();
        if (left + s.width() > W - 10 || y + s.height() > H - 40)
            continue;
        w.widget(made.widget.get(), QPoint(left, y), made.words);
        y += s.height() + 16;
    }

    // Status bar.
    w.p.fillRect(0, H - 26, W, 26, t.bar);
    w.text(QRect(12, H - 26, W / 2, 26), w.sentence(6), w.face(11, 0), t.dim);
    w.pill(QPoint(W - 160, H - 22), w.word(true), 11, accent(), 18);
    w.p.end();

    image.setDevicePixelRatio(1);
    return {image, w.truth};
}

} // namespace hard
