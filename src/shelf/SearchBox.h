#pragma once

#include <QWidget>
#include <functional>

class IconButton;
namespace motion {
class Animator;
}
class QLineEdit;

/// The search band's box: a magnifier, a borderless single-line field with its
/// placeholder, and a clear button that shows only while there is text. Escape,
/// Down and Return inside the field are reported instead of handled.
class SearchBox : public QWidget {
    Q_OBJECT
public:
    explicit SearchBox(QWidget* parent = nullptr, motion::Animator* animator = nullptr);

    QLineEdit* field() const { return m_field; }
    IconButton* clearButton() const { return m_clear; }

    /// The clear button was clicked.
    std::function<void()> onClear;
    /// Escape in the field.
    std::function<void()> onEscape;
    /// Down or Return in the field: the keyboard goes to the grid.
    std::function<void()> onLeave;

    /// Shows the clear button exactly when the field holds text.
    void syncClear();
    /// How many screenshots wait for text recognition: an empty field says
    /// so in place of its placeholder, a search in a quiet note at the box's
    /// right end (shortened, or left out, when the box is too narrow).
    void setReading(qint64 pending);
    /// The note shown beside the query; empty for none.
    QString note() const { return m_noteRect.isEmpty() ? QString() : m_note; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QLineEdit* m_field;
    IconButton* m_clear;
    qint64 m_reading = 0;
    QString m_note;
    QRectF m_noteRect;
};
