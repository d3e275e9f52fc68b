#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

class QPushButton;

/// The overlay over the grid when there is nothing to show, saying why. It takes
/// no clicks itself, so the grid beneath keeps working; only its "Open Settings"
/// button does, which is why the button is a sibling placed over it.
class EmptyStateView : public QWidget {
    Q_OBJECT
public:
    struct State {
        enum class Kind { noMatches, unreadable, noShots, emptyFolder, loading };
        Kind kind = Kind::loading;
        QString text;       // the query (noMatches) or the folder's name (unreadable)
        qint64 pending = 0; // screenshots still waiting for text (noMatches)

        static State noMatches(const QString& query, qint64 pending = 0) {
            return {Kind::noMatches, query, pending};
        }
        static State unreadable(const QString& name) { return {Kind::unreadable, name}; }
        static State noShots() { return {Kind::noShots, {}}; }
        static State emptyFolder() { return {Kind::emptyFolder, {}}; }
        static State loading() { return {Kind::loading, {}}; }
        bool operator==(const State& other) const {
            const bool payload = kind == Kind::noMatches || kind == Kind::unreadable;
            return kind == other.kind &&
                   (!payload || (text == other.text && pending == other.pending));
        }
    };

    explicit EmptyStateView(QWidget* parent);
    ~EmptyStateView() override;

    const std::optional<State>& state() const { return m_state; }
    /// Rebuilds the content, only when the state actually changes. No state keeps
    /// the last content (the controller hides the view then).
    void setState(const std::optional<State>& state);

    QString symbol() const { return m_symbol; }
    QString title() const { return m_title; }
    QString sub() const { return m_sub; }
    QStringList keys() const { return m_keys; }
    QPushButton* button() const { return m_button; }
    bool buttonShown() const { return m_buttonShown; }
    /// How many times the content was rebuilt.
    int rebuilds() const { return m_rebuilds; }

    /// The button's action: open the settings window.
    std::function<void()> onOpenSettings;

    void setVisible(bool visible) override;
    /// Lays the content out for the current size.
    void place();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    double keysWidth() const;

    std::optional<State> m_state;
    QString m_symbol;
    QString m_title;
    QString m_sub;
    QStringList m_keys;
    bool m_buttonShown = false;
    int m_rebuilds = 0;
    QPushButton* m_button;
    QRectF m_iconRect, m_titleRect, m_subRect, m_keysRect;
};
