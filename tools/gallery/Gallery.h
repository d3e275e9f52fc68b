#pragma once

// The gallery: a program that renders views in their states to PNG files, so
// that a change to how something looks can be seen before it is shipped.
// Each page registers itself from its own file:
//
//   GALLERY_IMAGE_PAGE(theme_film, [](double dpr) { return drawSomething(dpr); })
//   GALLERY_WIDGET_PAGE(header_buttons, [] { return std::make_unique<MyView>(); })
//
// `tamberk-gallery OUT [WORD…]` writes OUT/<name>.png at device pixel ratio 1
// and OUT/<name>@2x.png at 2, for every page whose name contains one of the words.

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

namespace gallery {

struct Page {
    QString name;
    /// Draws the page at a device pixel ratio (the image carries that ratio).
    std::function<QImage(double devicePixelRatio)> render;
};

std::vector<Page>& pages();
bool addImagePage(const char* name, std::function<QImage(double)> render);
/// A widget page: the widget is made, laid out at its size and rendered once per ratio.
bool addWidgetPage(const char* name, std::function<std::unique_ptr<QWidget>()> make);

/// A transparent image of `size` logical pixels at `devicePixelRatio`.
QImage canvas(QSize size, double devicePixelRatio);
/// Fills `image` like the shelf's card over a desktop: a busy backdrop under
/// the card's dark tint, so translucent colours show as they would.
void paintCardBackdrop(QImage& image);
/// Renders a widget (and its children) at its current size into an image.
QImage renderWidget(QWidget& widget, double devicePixelRatio);

} // namespace gallery

#define GALLERY_IMAGE_PAGE(id, ...)                                                                \
    static const bool gallery_##id = gallery::addImagePage(#id, __VA_ARGS__);
#define GALLERY_WIDGET_PAGE(id, ...)                                                               \
    static const bool gallery_##id = gallery::addWidgetPage(#id, __VA_ARGS__);
