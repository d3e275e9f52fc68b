// A dark card with the header's buttons, the brand and a settings menu, in a
// real window, for trying hover, tooltips and menus under Xvfb:
//   theme-try
// The gear opens the menu; choosing "Quit Tamberk" (or closing) ends it.
#include "shelf/BlockItem.h"
#include "shelf/IconButton.h"
#include "shelf/Label.h"
#include "shelf/Theme.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <cstdio>

namespace {

class Card final : public QWidget {
public:
    Card() {
        setWindowTitle(QStringLiteral("Theme try"));
        resize(300, 120);
        auto* brand = new Label(QString(), Theme::monoFont(10.5), Theme::ink(), this);
        brand->setCaps(
            Theme::caps(QStringLiteral("Tamberk"), 10.5, QFont::DemiBold, Theme::ink(), 2.6));
        brand->setElideMode(Qt::ElideNone);
        brand->setGeometry(14, 14, 100, 24);
        const struct {
            const char* symbol;
            double point;
            const char* tip;
        } buttons[] = {{"magnifyingglass", 12, "Search text in frames  Ctrl+F"},
                       {"pin", 12, "Keep open"},
                       {"gearshape", 12, "Settings  Ctrl+,"},
                       {"xmark", 11, "Close  Esc"}};
        int x = 300 - 14 - 4 * 28 + 4;
        for (const auto& b : buttons) {
            auto* button = new IconButton(QString::fromLatin1(b.symbol), 24, b.point, QFont::Normal,
                                          Theme::ink2(), Theme::ink(), std::nullopt, Theme::fill2(),
                                          6, QString::fromLatin1(b.tip), this);
            button->move(x, 14);
            x += 28;
            if (QLatin1String(b.symbol) == QLatin1String("gearshape"))
                button->onClick = [this, button] { openMenu(button); };
            else
                button->onClick = [b] {
                    std::printf("clicked %s\n", b.symbol);
                    std::fflush(stdout);
                };
        }
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(0x1b, 0x1c, 0x20));
        p.fillRect(QRect(0, 50, width(), 1), Theme::hair());
        Theme::paintSymbol(p, QRectF(14, 64, 40, 40), u"film", 26, Theme::ink4(), QFont::Light);
        p.setFont(Theme::monoFont(9, QFont::Medium));
        p.setPen(Theme::ink4());
        p.drawText(QPointF(64, 88), Theme::stamp(QDateTime::currentDateTime()));
    }

private:
    void openMenu(QWidget* anchor) {
        QMenu menu;
        menu.addAction(new BlockItem(
            QStringLiteral("Keep Open"), QStringLiteral("pin"), {}, [] { std::puts("keep open"); },
            &menu));
        menu.addAction(new BlockItem(
            QStringLiteral("Settings\u2026"), QStringLiteral("gearshape"),
            QKeySequence(QStringLiteral("Ctrl+,")), [] { std::puts("settings"); }, &menu));
        menu.addSeparator();
        menu.addAction(new BlockItem(
            QStringLiteral("Quit Tamberk"), QStringLiteral("xmark.circle"),
            QKeySequence(QStringLiteral("Ctrl+Q")), [] { QApplication::quit(); }, &menu));
        menu.exec(anchor->mapToGlobal(QPoint(0, anchor->height() + 2)));
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Theme::applyApplicationStyle(app);
    Card card;
    card.move(40, 40);
    card.show();
    return app.exec();
}
