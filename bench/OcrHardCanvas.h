#pragma once

// What the corpus draws with: a theme, a seeded canvas, and the real widgets it
// renders into windows.

#include "OcrHardCorpus.h"

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QRandomGenerator>
#include <QStringList>
#include <QWidget>
#include <memory>

namespace hard {

struct Theme {
    bool dark;
    QColor bg, fg, dim, faint, side, bar, line, link;
};

Theme theme(bool dark);

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

QPalette palette(const Theme& t);

// One of the real widgets, with the words it shows.
struct Widget {
    std::unique_ptr<QWidget> widget;
    QStringList words;
};

Widget table(Window& w, int px);
Widget menu(Window& w, int px);
Widget dialog(Window& w, int px);
// A code editor: monospace text with coloured keywords, strings and comments.
Widget code(Window& w, int px, bool dark);
// A terminal: light and coloured text on black, whatever the theme.
Widget terminal(Window& w, int px);
Widget buttons(Window& w, int px);

} // namespace hard
