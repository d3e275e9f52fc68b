#include "grid/PreviewWindow.h"

#include "grid/PlayedFrame.h"
#include "library/ShownName.h"
#include "platform/CompositorWatch.h"
#include "platform/ImageDecoder.h"
#include "platform/VideoDecoder.h"
#include "platform/X11Window.h"
#include "shelf/Theme.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMediaPlayer>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVideoFrame>
#include <QVideoSink>
#include <QtConcurrent>
#include <cmath>

namespace {

// The card of the shelf, opaque so it reads the same with or without a compositor.
QColor card() {
    QColor color = Theme::base();
    color.setAlphaF(1);
    return color;
}

QRect lerp(const QRect& a, const QRect& b, double t) {
    auto mix = [t](int x, int y) { return int(std::lround(x + (y - x) * t)); };
    return QRect(mix(a.x(), b.x()), mix(a.y(), b.y()), std::max(1, mix(a.width(), b.width())),
                 std::max(1, mix(a.height(), b.height())));
}

// `image` scaled to cover `target`, centred and cropped.
void drawFilled(QPainter& p, const QRect& target, const QImage& image) {
    if (image.isNull() || target.isEmpty())
        return;
    const double scale =
        std::max(double(target.width()) / image.width(), double(target.height()) / image.height());
    const QSizeF size(image.width() * scale, image.height() * scale);
    const QRectF rect(QPointF(target.center()) - QPointF(size.width() / 2, size.height() / 2),
                      size);
    p.save();
    p.setClipRect(target);
    p.drawImage(rect, image);
    p.restore();
}

// `image` scaled to fit inside `target`, centred.
QRectF fitted(const QRect& target, QSize image) {
    QSizeF size(image);
    size.scale(target.size(), Qt::KeepAspectRatio);
    return QRectF(QPointF(target.center()) - QPointF(size.width() / 2, size.height() / 2), size);
}

QString durationText(double seconds) {
    const int whole = int(std::max(0.0, seconds));
    return QString::asprintf("%d:%02d", whole / 60, whole % 60);
}

} // namespace

PreviewWindow::PreviewWindow(motion::Animator* animator)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_animator(animator ? animator : &motion::Animator::shared())
    , m_zoom([this] { zoomFrame(); }, m_animator)
    , m_compositor(std::make_unique<CompositorWatch>()) {
    setWindowTitle(QStringLiteral("Tamberk Preview"));
    // Around the card the window is see-through: the zoom plays inside a window
    // that keeps its size, so no frame shows an unpainted strip.
    setAttribute(Qt::WA_TranslucentBackground);
    composited = [this] { return m_compositor->isComposited(); };
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(1, 1);
}

PreviewWindow::~PreviewWindow() {
    m_zoom.removeAll();
}

ShotPtr PreviewWindow::current() const {
    return m_index >= 0 && m_index < m_items.size() ? m_items[m_index] : nullptr;
}

QString PreviewWindow::title() const {
    const ShotPtr shot = current();
    if (!shot)
        return {};
    QString text = shownName(QFileInfo(shot->path).fileName());
    if (m_items.size() > 1)
        text += QStringLiteral("  ·  %1 of %2").arg(m_index + 1).arg(m_items.size());
    const double duration = m_posterDuration > 0 ? m_posterDuration : shot->duration;
    if (shot->isVideo && duration > 0)
        text += QStringLiteral("  ·  ") + durationText(duration);
    return text;
}

QRect PreviewWindow::placement(const Shot& shot, QSize fallbackAspect, QRect available,
                               qreal devicePixelRatio, const QRect& keepClear) {
    if (keepClear.intersects(available)) {
        // The free part of the screen beside the card, when it is wide enough
        // to be worth it; else the preview covers the card as before.
        constexpr int margin = 16;
        const QRect left(available.topLeft(),
                         QPoint(keepClear.left() - margin - 1, available.bottom()));
        const QRect right(QPoint(keepClear.right() + 1 + margin, available.top()),
                          available.bottomRight());
        const QRect wider = left.width() >= right.width() ? left : right;
        if (wider.width() >= available.width() * 0.4)
            available = wider.adjusted(margin, 0, -margin, 0);
    }
    const QSizeF box(available.width() * 0.8, available.height() * 0.8 - titleHeight);
    QSizeF size;
    if (shot.pixelSize.width() > 1 && shot.pixelSize.height() > 1) {
        // A picture is shown at most at its own size.
        size = shot.pixelSize / std::max<qreal>(1, devicePixelRatio);
        if (size.width() > box.width() || size.height() > box.height())
            size.scale(box, Qt::KeepAspectRatio);
    } else {
        // Without a known size, the transition image gives the shape.
        size = fallbackAspect.isEmpty() ? QSizeF(16, 10) : QSizeF(fallbackAspect);
        size.scale(box, Qt::KeepAspectRatio);
    }
    // The window stays wide enough for its title.
    const QSize window(std::max(360, int(std::lround(size.width()))),
                       std::max(120, int(std::lround(size.height()))) + titleHeight);
    return QRect(available.center() - QPoint(window.width() / 2, window.height() / 2) +
                     QPoint(1, 1),
                 window);
}

QRect PreviewWindow::destination(const Shot& shot) const {
    const QRect from = sourceFrame ? sourceFrame(shot) : QRect();
    QScreen* screen = from.isEmpty() ? nullptr : QGuiApplication::screenAt(from.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1440, 900);
    return placement(shot, m_transition.size(), available,
                     screen ? screen->devicePixelRatio() : 1.0, keepClear ? keepClear() : QRect());
}

QRect PreviewWindow::contentRect() const {
    return m_card.adjusted(0, titleHeight, 0, 0);
}

void PreviewWindow::present(const ShotList& items) {
    if (items.isEmpty())
        return;
    if (isShowing()) {
        setItems(items);
        raise();
        activateWindow();
        return;
    }
    m_items = items;
    const ShotPtr shot = items.front();
    m_transition = transitionImage ? transitionImage(*shot) : QImage();
    const QRect to = destination(*shot);
    const QRect source = sourceFrame ? sourceFrame(*shot) : QRect();
    // Reopening while it closes starts from where the card is now.
    const bool closing = m_state == State::Closing;
    const QRect from = closing ? cardGeometry() : source.isEmpty() ? to : source;
    showItem(0);
    if (from == to || !composited || !composited()) {
        // Without a compositor a window cannot zoom without flashing: open in place.
        m_zoom.removeAll();
        m_from = m_to = to;
        setGeometry(to);
        placeCard(to);
        m_state = State::Open;
        QWidget::show();
        passClicksAround();
        raise();
        activateWindow();
        loadContent();
        return;
    }
    const QRect bounds = (closing ? geometry() : QRect()).united(from).united(to);
    if (geometry() != bounds || !isVisible())
        setGeometry(bounds);
    placeCard(from);
    QWidget::show();
    raise();
    activateWindow();
    zoom(from, to, State::Opening);
}

void PreviewWindow::setItems(const ShotList& items) {
    if (!isShowing())
        return;
    if (items.isEmpty()) {
        dismiss();
        return;
    }
    const ShotPtr shown = current();
    int index = 0;
    for (int i = 0; i < items.size(); ++i) {
        if (shown && items[i]->path == shown->path)
            index = i;
    }
    const bool same = shown && items[index]->path == shown->path;
    m_items = items;
    if (same) {
        m_index = index;
        update();
        return;
    }
    m_transition = transitionImage ? transitionImage(*items[index]) : QImage();
    showItem(index);
    m_to = destination(*items[index]);
    if (m_state == State::Open) {
        if (!geometry().contains(m_to))
            setGeometry(m_to);
        placeCard(m_to);
        passClicksAround();
    }
    loadContent();
}

void PreviewWindow::dismiss() {
    if (!isShowing())
        return;
    stopVideo();
    const ShotPtr shot = current();
    const QRect to = shot && sourceFrame ? sourceFrame(*shot) : QRect();
    if (!m_picture.isNull())
        m_transition = m_picture;
    // The zoom back plays only inside the window as it is: growing it would
    // show a strip not painted yet.
    if (to.isEmpty() || !geometry().contains(to) || !composited || !composited()) {
        m_zoom.removeAll();
        m_state = State::Closing;
        zoomDone();
        return;
    }
    zoom(cardGeometry(), to, State::Closing);
}

void PreviewWindow::showItem(int index) {
    stopVideo();
    ++m_generation;
    m_index = index;
    m_picture = QImage();
    m_posterDuration = 0;
    const ShotPtr shot = current();
    m_content = !shot ? Content::None : shot->isVideo ? Content::Video : Content::Still;
    update();
}

void PreviewWindow::loadContent() {
    const ShotPtr shot = current();
    if (!shot || m_state != State::Open)
        return;
    if (m_content == Content::Still) {
        const int maxPixel = int(
            std::ceil(std::max(m_to.width(), m_to.height() - titleHeight) * devicePixelRatioF()));
        auto* watcher = new QFutureWatcher<QImage>(this);
        connect(watcher, &QFutureWatcher<QImage>::finished, this,
                [this, watcher, generation = m_generation] {
                    watcher->deleteLater();
                    if (generation != m_generation)
                        return;
                    m_picture = watcher->result();
                    update();
                });
        watcher->setFuture(QtConcurrent::run(
            [path = shot->path, maxPixel] { return ImageDecoder::thumbnail(path, maxPixel); }));
        return;
    }
    if (m_content != Content::Video)
        return;
    if (!m_player) {
        m_player = new QMediaPlayer(this);
        m_audio = new QAudioOutput(this);
        // Frames are painted here, in the card: a video widget's own native
        // window would not take part in the see-through window's drawing.
        m_sink = new QVideoSink(this);
        connect(m_sink, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame& frame) {
            if (m_content != Content::Video)
                return;
            m_frame = playedFrame(frame, contentRect().size() * devicePixelRatioF());
            update(contentRect());
        });
        m_player->setAudioOutput(m_audio);
        m_player->setVideoOutput(m_sink);
        connect(m_player, &QMediaPlayer::errorOccurred, this, [this] {
            if (m_content == Content::Video)
                showPoster();
        });
        connect(m_player, &QMediaPlayer::mediaStatusChanged, this,
                [this](QMediaPlayer::MediaStatus status) {
                    if (status == QMediaPlayer::InvalidMedia && m_content == Content::Video)
                        showPoster();
                });
    }
    if (!m_player->isAvailable()) {
        showPoster();
        return;
    }
    m_player->setSource(shot->url());
    m_player->play();
}

void PreviewWindow::showPoster() {
    stopVideo();
    const ShotPtr shot = current();
    if (!shot)
        return;
    m_content = Content::Poster;
    update();
    const int maxPixel = int(
        std::ceil(std::max(m_card.width(), m_card.height() - titleHeight) * devicePixelRatioF()));
    auto* watcher = new QFutureWatcher<VideoDecoder::Poster>(this);
    connect(watcher, &QFutureWatcher<VideoDecoder::Poster>::finished, this,
            [this, watcher, generation = m_generation] {
                watcher->deleteLater();
                if (generation != m_generation)
                    return;
                const VideoDecoder::Poster poster = watcher->result();
                m_picture = poster.image;
                m_posterDuration = poster.duration;
                update();
            });
    watcher->setFuture(QtConcurrent::run(
        [path = shot->path, maxPixel] { return VideoDecoder::poster(path, maxPixel); }));
}

void PreviewWindow::stopVideo() {
    if (m_player) {
        m_player->stop();
        m_player->setSource(QUrl());
    }
    m_frame = QImage();
}

void PreviewWindow::zoom(const QRect& from, const QRect& to, State state) {
    m_from = from;
    m_to = to;
    m_state = state;
    m_frame = QImage();
    m_zoom.add("zoom", motion::Animation::basic(motion::Prop::Param, 0, 1, zoomDuration,
                                                motion::Timing::easeOut())
                           .onDone([this, state](bool finished) {
                               if (finished && m_state == state)
                                   zoomDone();
                           }));
    zoomFrame();
}

void PreviewWindow::zoomFrame() {
    if (m_state != State::Opening && m_state != State::Closing)
        return;
    const double t = m_zoom.value(motion::Prop::Param, 1.0);
    placeCard(lerp(m_from, m_to, t));
    update();
}

void PreviewWindow::passClicksAround() {
    // Only the input region: reshaping what shows costs a compositor a frame.
    if (windowHandle())
        X11Window::setInputRegion(windowHandle(), m_card);
}

void PreviewWindow::placeCard(const QRect& global) {
    m_card = global.translated(-geometry().topLeft());
}

void PreviewWindow::zoomDone() {
    if (m_state == State::Opening) {
        m_state = State::Open;
        placeCard(m_to);
        // Clicks around the card reach the windows below.
        passClicksAround();
        loadContent();
        update();
        return;
    }
    m_state = State::Closed;
    stopVideo();
    const bool hadKeyboard = isActiveWindow();
    QWidget::hide();
    ++m_generation;
    m_items.clear();
    m_content = Content::None;
    m_picture = QImage();
    m_transition = QImage();
    if (onClosed)
        onClosed(hadKeyboard);
}

void PreviewWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.fillRect(m_card, card());
    if (m_state == State::Opening || m_state == State::Closing) {
        drawFilled(p, m_card, m_transition);
        return;
    }
    p.setPen(Theme::hair());
    p.drawRect(m_card.adjusted(0, 0, -1, -1));
    const int top = m_card.top();
    p.drawLine(m_card.left(), top + titleHeight - 1, m_card.right(), top + titleHeight - 1);
    p.setFont(Theme::font(12, QFont::Medium));
    p.setPen(Theme::ink());
    const QRect strip(m_card.left() + 12, top, m_card.width() - 24, titleHeight - 1);
    p.drawText(strip, Qt::AlignCenter,
               p.fontMetrics().elidedText(title(), Qt::ElideMiddle, strip.width()));
    const QRect area = contentRect();
    if (m_content == Content::Video) {
        if (!m_frame.isNull())
            p.drawImage(fitted(area, m_frame.size()), m_frame);
        return;
    }
    const QImage& image = m_picture.isNull() ? m_transition : m_picture;
    if (!image.isNull())
        p.drawImage(fitted(area, image.size()), image);
    if (m_content == Content::Poster) {
        // The recording could not play: its poster, its length and why.
        const ShotPtr shot = current();
        const double duration = m_posterDuration > 0 ? m_posterDuration : shot->duration;
        if (duration > 0) {
            const QRect pill(area.left() + 12, area.bottom() - 34, 70, 22);
            QPainterPath path;
            path.addRoundedRect(pill, 5, 5);
            p.fillPath(path, QColor(0, 0, 0, 153));
            p.setPen(Theme::ink());
            p.drawText(pill, Qt::AlignCenter, QStringLiteral("▶ ") + durationText(duration));
        }
        p.setPen(Theme::ink3());
        p.drawText(area.adjusted(0, 0, -12, -12), Qt::AlignRight | Qt::AlignBottom,
                   QStringLiteral("Cannot play this recording"));
    }
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Escape:
        dismiss();
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (onArrow)
            onArrow(Qt::Key(event->key()), event->modifiers());
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void PreviewWindow::mousePressEvent(QMouseEvent* event) {
    // A click on a playing recording pauses it, a second one resumes.
    if (m_content == Content::Video && m_player && contentRect().contains(event->pos())) {
        if (m_player->playbackState() == QMediaPlayer::PlayingState)
            m_player->pause();
        else
            m_player->play();
        return;
    }
    QWidget::mousePressEvent(event);
}

void PreviewWindow::closeEvent(QCloseEvent* event) {
    // The window manager closed it: no zoom, but the grid still hears of it.
    event->ignore();
    if (m_state == State::Closed)
        return;
    m_zoom.removeAll();
    m_state = State::Closing;
    zoomDone();
}
