#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The pieces the settings window's sections are built from, and how it shows
// folders.
namespace settingsform {

inline const QColor orange(0xff, 0x9f, 0x0a);
inline const QColor green(0x30, 0xd1, 0x58);

QColor secondary(const QWidget* widget);
QLabel* text(const QString& content, const QFont& font, QWidget* parent, double alpha = 1.0);
QLabel* caption(const QString& content, QWidget* parent);
QPushButton* smallButton(const QString& title, QWidget* parent);

// The rounded box that holds the rows of one section.
class Group : public QWidget {
public:
    explicit Group(QWidget* parent);
    // Adds a row; rows after the first get a hairline above them.
    QHBoxLayout* addRow(QWidget** rowOut = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

// A section's title and its group, added to the form.
Group* addSection(QVBoxLayout* form, QWidget* parent, const QString& header);

// The path with the home folder written "~".
QString tilde(const QString& path);
// A folder as people read it: below the home folder, its parts joined by
// " › " ("Pictures › Screenshots"); elsewhere the path with "~".
QString pretty(const QString& path);
// A path with links resolved; the cleaned path itself when it does not exist.
QString resolved(const QString& path);

} // namespace settingsform
