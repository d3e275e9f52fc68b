#pragma once

#include <QWidget>

class IconButton;
namespace motion {
class Animator;
}

/// The bar that covers the header while frames are selected: the count and the
/// actions move, copy, share and delete, with deselect set apart at the end. The
/// controller wires the buttons; the shelf sets the count and fades the bar.
class SelectionBar : public QWidget {
    Q_OBJECT
public:
    explicit SelectionBar(QWidget* parent = nullptr, motion::Animator* animator = nullptr);

    int n() const { return m_n; }
    void setN(int n);
    /// Lays the count and the buttons out for the current size.
    void place();
    /// Whether "selected" follows the number (the bar is at least 250 wide).
    bool showsWord() const { return m_showsWord; }

    IconButton* moveB;
    IconButton* copyB;
    IconButton* shareB;
    IconButton* trashB;
    IconButton* clearB;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int m_n = 0;
    bool m_showsWord = false;
    QRectF m_count;
};
