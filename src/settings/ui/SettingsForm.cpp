#include "settings/ui/SettingsForm.h"

#include "shelf/Theme.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace settingsform {

QColor secondary(const QWidget* widget) {
    return Theme::withAlpha(widget->palette().color(QPalette::WindowText), 0.6);
}

QLabel* text(const QString& content, const QFont& font, QWidget* parent, double alpha) {
    auto* label = new QLabel(content, parent);
    label->setFont(font);
    if (alpha < 1.0) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText,
                         Theme::withAlpha(palette.color(QPalette::WindowText), alpha));
        label->setPalette(palette);
    }
    return label;
}

QLabel* caption(const QString& content, QWidget* parent) {
    QLabel* label = text(content, Theme::font(11.5), parent, 0.6);
    label->setWordWrap(true);
    return label;
}

Group::Group(QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 4, 14, 4);
    layout->setSpacing(0);
}

QHBoxLayout* Group::addRow(QWidget** rowOut) {
    auto* row = new QWidget(this);
    row->setMinimumHeight(38);
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 6, 0, 6);
    h->setSpacing(8);
    static_cast<QVBoxLayout*>(layout())->addWidget(row);
    if (rowOut)
        *rowOut = row;
    return h;
}

void Group::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Theme::withAlpha(Qt::white, 0.08), 1));
    p.setBrush(palette().color(QPalette::AlternateBase));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 9, 9);
    // Hairlines between visible rows.
    p.setPen(QPen(Theme::withAlpha(Qt::white, 0.07), 1));
    bool first = true;
    for (QObject* child : children()) {
        auto* row = qobject_cast<QWidget*>(child);
        if (!row || !row->isVisibleTo(this))
            continue;
        if (!first)
            p.drawLine(QPointF(14, row->y() + 0.5), QPointF(width() - 14, row->y() + 0.5));
        first = false;
    }
}

Group* addSection(QVBoxLayout* form, QWidget* parent, const QString& header) {
    QLabel* title = text(header, Theme::font(12.5, QFont::DemiBold), parent, 0.6);
    title->setContentsMargins(6, 14, 0, 4);
    form->addWidget(title);
    auto* group = new Group(parent);
    form->addWidget(group);
    return group;
}

QPushButton* smallButton(const QString& title, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setFont(Theme::font(11.5));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QString tilde(const QString& path) {
    const QString home = QDir::homePath();
    if (path == home)
        return QStringLiteral("~");
    if (path.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

QString pretty(const QString& path) {
    const QString home = QDir::homePath();
    if (!path.startsWith(home + QLatin1Char('/')))
        return tilde(path);
    return path.mid(home.size() + 1)
        .split(QLatin1Char('/'), Qt::SkipEmptyParts)
        .join(QStringLiteral(" \u203a "));
}

QString resolved(const QString& path) {
    if (path.isEmpty())
        return {};
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

} // namespace settingsform
