#pragma once

#include "library/Shot.h"
#include "shelf/Motion.h"

#include <QFutureWatcher>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class CompositorWatch;
class QMediaPlayer;
class QVideoSink;
class QAudioOutput;

/// The preview of frames: a dark window of our own above the panel that zooms
/// out of a cell, shows a still at screen size or plays a recording, and hands
/// the arrow keys back to the grid, which decides what comes next.
class PreviewWindow : public QWidget {
    Q_OBJECT
public:
    enum class State { Closed, Opening, Open, Closing };
    enum class Content { None, Still, Video, Poster };

    /// Zoom length in seconds, each way.
    static constexpr double zoomDuration = 0.24;
    /// Height of the title strip above the picture.
    static constexpr int titleHeight = 30;

    explicit PreviewWindow(motion::Animator* animator = nullptr);
    ~PreviewWindow() override;

    /// Where an item's frame lies on screen (an empty rectangle when it has no
    /// cell) and the picture the zoom starts from (null when none).
    std::function<QRect(const Shot&)> sourceFrame;
    std::function<QImage(const Shot&)> transitionImage;
    /// The part of the screen to leave in view (the panel's card), if any.
    std::function<QRect()> keepClear;
    /// An arrow key pressed in the preview.
    std::function<void(Qt::Key key, Qt::KeyboardModifiers modifiers)> onArrow;
    /// The preview has closed, however that happened; `hadKeyboard` when it
    /// had the keyboard until then, which on X11 no one hands back by itself.
    std::function<void(bool hadKeyboard)> onClosed;
    /// Whether a compositor runs, so the zoom can play in a window of fixed size
    /// with see-through parts; without one the preview opens and closes at once.
    /// Defaults to watching the X server.
    std::function<bool()> composited;

    /// Opens on `items`, zooming out of the first one's source frame; when it is
    /// open already, it just shows them.
    void present(const ShotList& items);
    /// Replaces the items, keeping the one shown when it is still among them.
    void setItems(const ShotList& items);
    /// Closes, zooming back into the shown item's source frame when it has one.
    void dismiss();

    /// Opening or open: Space and Esc close it from here.
    bool isShowing() const { return m_state == State::Opening || m_state == State::Open; }
    State state() const { return m_state; }
    Content content() const { return m_content; }
    ShotList items() const { return m_items; }
    ShotPtr current() const;
    /// The still or poster shown (null while it decodes, and for playing video).
    QImage picture() const { return m_picture; }
    /// The caption of the title strip: name, position among several, duration.
    QString title() const;
    /// Where the dark card is on screen: the zoom's rectangle while it plays.
    QRect cardGeometry() const { return m_card.translated(geometry().topLeft()); }

    /// The window's place for `shot` on `screen`: its picture at most at its own
    /// size, within 80 % of the available area, centred; beside `keepClear`
    /// (left or right of it, where there is more room) when that leaves room.
    static QRect placement(const Shot& shot, QSize fallbackAspect, QRect available,
                           qreal devicePixelRatio, const QRect& keepClear = {});

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showItem(int index);
    void loadContent();
    void showPoster();
    void stopVideo();
    void zoom(const QRect& from, const QRect& to, State state);
    void zoomFrame();
    void zoomDone();
    void placeCard(const QRect& global);
    void passClicksAround();
    QRect contentRect() const;
    QRect destination(const Shot& shot) const;

    motion::Animator* m_animator;
    motion::Layer m_zoom;
    State m_state = State::Closed;
    Content m_content = Content::None;
    ShotList m_items;
    int m_index = 0;
    quint64 m_generation = 0; // bumps with every item shown; stale decodes are dropped
    QImage m_picture;
    QImage m_transition;
    double m_posterDuration = 0;
    QRect m_from, m_to; // global
    QRect m_card;       // the card in the window; the rest is see-through
    std::unique_ptr<CompositorWatch> m_compositor;
    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_audio = nullptr;
    QVideoSink* m_sink = nullptr;
    QImage m_frame; // the recording's frame shown
};
