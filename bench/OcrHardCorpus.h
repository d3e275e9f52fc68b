#pragma once
// The hard recognition corpus: windows of made-up applications as people
// capture them, generated with a fixed seed. Light and dark themes at
// 1440×900, 1920×1080 and 2880×1800 (twice the size of 1440×900); text of 11
// to 20 px at 1× and twice that at 2×; grey secondary and tertiary text; white
// text on coloured buttons, badges and pills; tinted and strongly coloured
// bands; bold, serif and monospace faces; and real Qt widgets rendered
// offscreen (buttons, a menu, a dialog, a table, a code editor and a terminal).
// Only words that were really drawn are kept as the truth of an image.
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

// Lower-cased runs of letters and digits, two characters or longer: the unit
// both the truth and the recognised texts are compared in.
inline QStringList tokens(const QString& text) {
    static const QRegularExpression split(QStringLiteral("[^\\p{L}\\p{N}]+"));
    QStringList out;
    for (const QString& piece : text.toLower().split(split, Qt::SkipEmptyParts)) {
        if (piece.size() >= 2)
            out.append(piece);
    }
    return out;
}

struct Theme {
    bool dark;
    QColor bg, fg, dim, faint, side, bar, line, link;
};

inline Theme theme(bool dark) {
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

// Accent colours of buttons, badges and pills, all carrying white text.
inline const QColor kAccents[] = {
    QColor(10, 132, 255), QColor(52, 199, 89),  QColor(255, 59, 48),  QColor(175, 82, 222),
    QColor(255, 149, 0),  QColor(0, 122, 110),  QColor(88, 86, 214),  QColor(232, 62, 140),
    QColor(90, 100, 120), QColor(48, 176, 199), QColor(200, 120, 40), QColor(30, 30, 30),
};
constexpr int kAccentCount = int(sizeof kAccents / sizeof kAccents[0]);

class Window {
public:
    Window(QImage& image, const char* const* words, int wordCount, quint32 seed, const Theme& t)
        : p(&image)
        , rng(seed)
        , t(t)
        , m_words(words)
        , m_wordCount(wordCount) {
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setRenderHint(QPainter::Antialiasing);
    }

    QString word(bool capital = false) {
        QString w = QString::fromLatin1(m_words[rng.bounded(m_wordCount)]);
        if (capital)
            w[0] = w[0].toUpper();
        return w;
    }
    QString sentence(int count) {
        QStringList out;
        for (int i = 0; i < count; ++i)
            out.append(word(i == 0 || rng.bounded(7) == 0));
        return out.join(QLatin1Char(' '));
    }

    QFont face(int px, int kind = -1) {
        static const char* const families[] = {"DejaVu Sans",      "Liberation Sans",
                                               "Liberation Serif", "DejaVu Serif",
                                               "DejaVu Sans Mono", "Liberation Mono"};
        if (kind < 0)
            kind = int(rng.bounded(6));
        QFont font(QString::fromLatin1(families[kind]));
        font.setPixelSize(px);
        if (rng.bounded(5) == 0)
            font.setBold(true);
        return font;
    }

    // Draws as many leading words of `text` as fit `box` on one line and
    // keeps them as truth; returns the width used.
    int text(const QRect& box, const QString& text, const QFont& font, QColor color,
             int flags = Qt::AlignLeft | Qt::AlignVCenter) {
        const QFontMetrics metrics(font);
        QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        while (!words.isEmpty() &&
               metrics.horizontalAdvance(words.join(QLatin1Char(' '))) > box.width())
            words.removeLast();
        if (words.isEmpty())
            return 0;
        const QString line = words.join(QLatin1Char(' '));
        p.setFont(font);
        p.setPen(color);
        p.drawText(box, flags | Qt::TextSingleLine, line);
        truth += tokens(line);
        return metrics.horizontalAdvance(line);
    }

    // A rounded pill of an accent colour with white text, sized to the text.
    int pill(QPoint at, const QString& label, int px, QColor fill, int height, bool bold = true) {
        QFont font = face(px, int(rng.bounded(2)));
        font.setBold(bold);
        const int width = QFontMetrics(font).horizontalAdvance(label) + height;
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(QRect(at, QSize(width, height)), height / 2.0, height / 2.0);
        text(QRect(at, QSize(width, height)), label, font, Qt::white, Qt::AlignCenter);
        return width;
    }

    void widget(QWidget* w, QPoint at, const QStringList& words) {
        w->render(&p, at, QRegion(), QWidget::DrawChildren | QWidget::DrawWindowBackground);
        for (const QString& word : words)
            truth += tokens(word);
    }

    QPainter p;
    QRandomGenerator rng;
    Theme t;
    QStringList truth;

private:
    const char* const* m_words;
    int m_wordCount;
};

inline QPalette palette(const Theme& t) {
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

// One of the real widgets, with the words it shows.
struct Widget {
    std::unique_ptr<QWidget> widget;
    QStringList words;
};

inline Widget table(Window& w, int px) {
    auto view = std::make_unique<QTableWidget>(7, 4);
    QStringList words;
    QStringList headers;
    for (int c = 0; c < 4; ++c)
        headers.append(w.word(true));
    view->setHorizontalHeaderLabels(headers);
    words += headers;
    view->verticalHeader()->hide();
    view->setAlternatingRowColors(true);
    for (int r = 0; r < 7; ++r) {
        for (int c = 0; c < 4; ++c) {
            const QString cell = c == 3   ? QString::number(w.rng.bounded(100, 99999))
                                 : c == 0 ? w.sentence(2)
                                          : w.word(w.rng.bounded(2) == 0);
            view->setItem(r, c, new QTableWidgetItem(cell));
            words.append(cell);
        }
    }
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(px);
    view->setFont(font);
    view->horizontalHeader()->setFont(font);
    view->resizeColumnsToContents();
    view->resizeRowsToContents();
    int width = 4, height = view->horizontalHeader()->sizeHint().height() + 4;
    for (int c = 0; c < 4; ++c)
        width += view->columnWidth(c);
    for (int r = 0; r < 7; ++r)
        height += view->rowHeight(r);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->resize(width, height);
    if (w.rng.bounded(2) == 0)
        view->selectRow(int(w.rng.bounded(7)));
    return {std::move(view), words};
}

inline Widget menu(Window& w, int px) {
    auto m = std::make_unique<QMenu>();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(px);
    m->setFont(font);
    QStringList words;
    const char* const keys[] = {"Ctrl+N", "Ctrl+O", "Ctrl+S", "Ctrl+W", "Shift+Ctrl+Z"};
    for (int i = 0; i < 8; ++i) {
        if (i == 3 || i == 6) {
            m->addSeparator();
            continue;
        }
        const QString label = w.sentence(1 + int(w.rng.bounded(2)));
        QAction* action = m->addAction(label);
        words.append(label);
        if (i < 5) {
            action->setShortcut(QKeySequence(QString::fromLatin1(keys[i])));
            words.append(
                QKeySequence(QString::fromLatin1(keys[i])).toString(QKeySequence::NativeText));
        }
        if (i == 7)
            action->setEnabled(false);
    }
    m->ensurePolished();
    m->resize(m->sizeHint());
    if (!m->actions().isEmpty())
        m->setActiveAction(m->actions().at(1));
    return {std::move(m), words};
}

inline Widget dialog(Window& w, int px) {
    auto box = std::make_unique<QWidget>();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(px);
    box->setFont(font);
    auto* layout = new QVBoxLayout(box.get());
    QStringList words;
    auto* label = new QLabel(w.sentence(5));
    words.append(label->text());
    auto* second = new QLabel(w.sentence(4));
    words.append(second->text());
    auto* edit = new QLineEdit(w.sentence(2));
    edit->deselect();
    edit->setCursorPosition(0);
    // Offscreen, the line edit's own panel comes out black; its base colour
    // is filled behind it instead.
    edit->setFrame(false);
    edit->setAutoFillBackground(true);
    edit->setBackgroundRole(QPalette::Base);
    words.append(edit->text());
    auto* check = new QCheckBox(w.sentence(3));
    check->setChecked(true);
    words.append(check->text());
    auto* combo = new QComboBox;
    combo->addItem(w.sentence(2));
    words.append(combo->itemText(0));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(w.word(true));
    words.append(buttons->button(QDialogButtonBox::Ok)->text());
    words.append(buttons->button(QDialogButtonBox::Cancel)->text());
    for (QWidget* child : {static_cast<QWidget*>(label), static_cast<QWidget*>(second),
                           static_cast<QWidget*>(edit), static_cast<QWidget*>(check),
                           static_cast<QWidget*>(combo), static_cast<QWidget*>(buttons)})
        layout->addWidget(child);
    box->ensurePolished();
    box->resize(std::max(box->sizeHint().width(), 440), box->sizeHint().height());
    return {std::move(box), words};
}

// A code editor: monospace text with coloured keywords, strings and comments.
inline Widget code(Window& w, int px, bool dark) {
    auto edit = std::make_unique<QPlainTextEdit>();
    QFont font(QString::fromLatin1(w.rng.bounded(2) ? "DejaVu Sans Mono" : "Liberation Mono"));
    font.setPixelSize(px);
    edit->setFont(font);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const QString keyword = dark ? QStringLiteral("#c586c0") : QStringLiteral("#af00db");
    const QString name = dark ? QStringLiteral("#dcdcaa") : QStringLiteral("#795e26");
    const QString string = dark ? QStringLiteral("#ce9178") : QStringLiteral("#a31515");
    const QString comment = dark ? QStringLiteral("#6a9955") : QStringLiteral("#008000");
    QStringList words;
    const int lines = 9;
    for (int i = 0; i < lines; ++i) {
        QString html, plain;
        const QString indent = QString(4 * (i % 3), QLatin1Char(' '));
        const auto span = [&](const QString& colour, const QString& text) {
            const QString escaped =
                text.toHtmlEscaped().replace(QLatin1Char(' '), QStringLiteral("&nbsp;"));
            html += colour.isEmpty()
                        ? escaped
                        : QStringLiteral("<span style=\"color:%1\">%2</span>").arg(colour, escaped);
            plain += text;
        };
        span(QString(), indent);
        switch (i % 4) {
        case 0:
            span(keyword, QStringLiteral("function "));
            span(name, w.word() + w.word(true));
            span(QString(), QStringLiteral("(") + w.word() + QStringLiteral(", ") + w.word() +
                                QStringLiteral(") {"));
            break;
        case 1:
            span(keyword, QStringLiteral("const "));
            span(QString(), w.word() + QStringLiteral(" = "));
            span(string, QStringLiteral("\"") + w.sentence(2) + QStringLiteral("\""));
            span(QString(), QStringLiteral(";"));
            break;
        case 2:
            span(comment, QStringLiteral("// ") + w.sentence(4));
            break;
        default:
            span(keyword, QStringLiteral("return "));
            span(QString(), w.word() + QStringLiteral(".") + w.word() + QStringLiteral("();"));
            break;
        }
        edit->appendHtml(html);
        words.append(plain);
    }
    const QFontMetrics metrics(font);
    int width = 0;
    for (const QString& line : words)
        width = std::max(width, metrics.horizontalAdvance(line));
    edit->resize(width + 24, metrics.lineSpacing() * lines + 16);
    return {std::move(edit), words};
}

// A terminal: light and coloured text on black, whatever the theme.
inline Widget terminal(Window& w, int px) {
    auto edit = std::make_unique<QPlainTextEdit>();
    QPalette pal = edit->palette();
    pal.setColor(QPalette::Base, QColor(12, 12, 14));
    pal.setColor(QPalette::Text, QColor(204, 204, 204));
    edit->setPalette(pal);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(px);
    edit->setFont(font);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const QString colours[] = {QStringLiteral("#cc0000"), QStringLiteral("#4e9a06"),
                               QStringLiteral("#c4a000"), QStringLiteral("#3465a4"),
                               QStringLiteral("#75507b"), QStringLiteral("#06989a"),
                               QStringLiteral("#d3d7cf")};
    QStringList words;
    const int lines = 8;
    for (int i = 0; i < lines; ++i) {
        QString html, plain;
        const auto span = [&](const QString& colour, const QString& text) {
            const QString escaped =
                text.toHtmlEscaped().replace(QLatin1Char(' '), QStringLiteral("&nbsp;"));
            html += colour.isEmpty()
                        ? escaped
                        : QStringLiteral("<span style=\"color:%1\">%2</span>").arg(colour, escaped);
            plain += text;
        };
        if (i % 3 == 0) {
            span(QStringLiteral("#8ae234"), QStringLiteral("user@") + w.word());
            span(QStringLiteral("#729fcf"), QStringLiteral(":~/") + w.word());
            span(QStringLiteral("#d3d7cf"), QStringLiteral("$ ") + w.sentence(3).toLower());
        } else {
            span(colours[w.rng.bounded(7)], w.sentence(1).toUpper() + QStringLiteral(" "));
            span(colours[w.rng.bounded(7)], w.sentence(4).toLower());
        }
        edit->appendHtml(html);
        words.append(plain);
    }
    const QFontMetrics metrics(font);
    int width = 0;
    for (const QString& line : words)
        width = std::max(width, metrics.horizontalAdvance(line));
    edit->resize(width + 24, metrics.lineSpacing() * lines + 16);
    return {std::move(edit), words};
}

inline Widget buttons(Window& w, int px) {
    auto row = std::make_unique<QWidget>();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(px);
    row->setFont(font);
    auto* layout = new QHBoxLayout(row.get());
    QStringList words;
    for (int i = 0; i < 3; ++i) {
        auto* button = new QPushButton(w.sentence(1 + i % 2));
        if (i == 0)
            button->setDefault(true);
        words.append(button->text());
        layout->addWidget(button);
    }
    row->ensurePolished();
    row->resize(row->sizeHint());
    return {std::move(row), words};
}

struct Image {
    QImage image;
    QStringList words;
};

// One window. Sizes are logical; `ratio` 2 draws everything twice as large.
inline Image window(const char* const* words, int wordCount, int index, QSize logical, qreal ratio,
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
