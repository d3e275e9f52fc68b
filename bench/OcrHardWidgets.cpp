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

Widget table(Window& w, int px) {
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

Widget menu(Window& w, int px) {
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

Widget dialog(Window& w, int px) {
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

Widget code(Window& w, int px, bool dark) {
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

Widget terminal(Window& w, int px) {
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

Widget buttons(Window& w, int px) {
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

} // namespace hard
