#pragma once

#include <QByteArray>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class QAbstractAnimation;

/// The one animation engine of every on-screen item: keyed animations on the
/// numeric properties of plain items, advanced by one ticker that runs only
/// while something moves. Values are computed from elapsed time, never from
/// tick counts, so a late tick shows the right picture.
namespace motion {

/// Cubic-bezier timing from (0, 0) to (1, 1) through two control points.
class Timing {
public:
    constexpr Timing() = default; // linear
    constexpr Timing(double x1, double y1, double x2, double y2)
        : m_x1(x1)
        , m_y1(y1)
        , m_x2(x2)
        , m_y2(y2) {}

    static constexpr Timing linear() { return {}; }
    static constexpr Timing easeIn() { return {0.42, 0, 1, 1}; }
    static constexpr Timing easeOut() { return {0, 0, 0.58, 1}; }
    static constexpr Timing easeInOut() { return {0.42, 0, 0.58, 1}; }

    /// The eased progress at linear progress `t` in [0, 1].
    double at(double t) const;

private:
    double m_x1 = 0, m_y1 = 0, m_x2 = 1, m_y2 = 1;
};

/// A damped spring released from rest (initial velocity 0).
struct Spring {
    double mass = 1;
    double stiffness = 100;
    double damping = 10;

    /// Remaining displacement at time `t`, as a fraction of the travel (1 at t = 0).
    double displacement(double t) const;
    /// Progress from the start value towards the end value (0 at t = 0, may overshoot 1).
    double at(double t) const { return 1.0 - displacement(t); }
    /// The last time the displacement exceeds 0.001 of the travel, in seconds.
    /// Found by scanning the closed form backwards from an upper bound; cached.
    double settlingDuration() const;
};

/// The properties an animation can drive. Two-component properties (Position,
/// Scale) carry x and y; the others use the first component only.
enum class Prop : quint8 {
    Position,
    Scale,
    ScaleX,
    ScaleY,
    TranslationX,
    TranslationY,
    Opacity,
    Param, // an item-defined number (a path parameter, a sublayer offset)
};

using Value = std::array<double, 2>;

/// What to animate and how. Built with the static makers and the chained setters:
///   Animation::spring(Prop::Position, from, to, {1, 300, 30}).delayed(0.05).fillBackwards()
struct Animation {
    enum class Kind : quint8 { Basic, KeyFrames, Spring };

    static Animation basic(Prop prop, Value from, Value to, double duration,
                           Timing timing = Timing::linear());
    static Animation basic(Prop prop, double from, double to, double duration,
                           Timing timing = Timing::linear());
    static Animation spring(Prop prop, Value from, Value to, Spring spring);
    static Animation spring(Prop prop, double from, double to, Spring spring);
    /// Scalar key frames; `keyTimes` are fractions of the duration, one per value.
    static Animation keyFrames(Prop prop, std::vector<double> values, std::vector<double> keyTimes,
                               double duration, Timing timing = Timing::linear());

    /// Starts `seconds` after the moment it is added.
    Animation& delayed(double seconds);
    /// Before it starts, it shows its first value instead of the model value.
    Animation& fillBackwards();
    /// After it ends, it keeps showing its last value until removed.
    Animation& fillForwards();
    Animation& repeated(int count);
    /// Runs once when the animation ends, is replaced or removed (not when its item
    /// is destroyed): `finished` is true only when it ran to its end.
    Animation& onDone(std::function<void(bool finished)> done);

    Kind kind = Kind::Basic;
    Prop prop = Prop::Opacity;
    Value from{0, 0};
    Value to{0, 0};
    double duration = 0; // one repetition, seconds
    double delay = 0;
    int repeatCount = 1;
    bool backwards = false;
    bool forwards = false;
    Timing timing;
    Spring springParams;
    std::vector<double> values;
    std::vector<double> keyTimes;
    std::function<void(bool)> done;

    /// The animated value `elapsed` seconds after its begin, clamped to its span.
    Value valueAt(double elapsed) const;
    double totalDuration() const { return duration * repeatCount; }
};

class Animator;

/// A plain item's animations. Embedded by value in cells, chips and windows; holds
/// nothing while idle. The owner keeps its model values and asks `value(prop, model)`
/// when painting: the running animation's presentation value, or the model value.
class Layer {
public:
    /// `changed` runs once per frame while an animation of this layer moves, so
    /// the owner can repaint the area it covers.
    explicit Layer(std::function<void()> changed = {}, Animator* animator = nullptr);
    ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    void setChanged(std::function<void()> changed) { m_changed = std::move(changed); }

    /// Adds `animation` under `key`, replacing (and completing, unfinished) any under
    /// the same key. The begin time is the animator's now plus the animation's delay.
    void add(const QByteArray& key, Animation animation);
    void remove(const QByteArray& key);
    void removeAll();
    bool has(const QByteArray& key) const;
    /// True while any animation of this layer is waiting, running or holding its end.
    bool animating() const;

    /// The presentation value: the newest active animation of `prop`, else `model`.
    Value value(Prop prop, Value model) const;
    double value(Prop prop, double model) const { return value(prop, Value{model, 0})[0]; }

private:
    friend class Animator;
    struct Running {
        QByteArray key;
        Animation animation;
        double begin = 0;
        bool ended = false; // forwards-filled and holding its end value
    };

    Animator* animator() const;
    bool frame(double now, std::vector<std::function<void(bool)>>& completions);

    std::unique_ptr<std::vector<Running>> m_running;
    std::function<void()> m_changed;
    Animator* m_animator;
    bool m_attached = false; // in the animator's list of layers that need frames
};

/// Advances every layer with live animations from one ticker. The process uses
/// `shared()`; tests make their own with a manual clock and call `advanceTo`.
class Animator {
public:
    using Clock = std::function<double()>;

    /// A real animator on the monotonic clock, ticking about every 16 ms.
    Animator();
    /// A manual animator: time moves only through `advanceTo`; it never ticks by itself.
    explicit Animator(double startSeconds);
    ~Animator();
    Animator(const Animator&) = delete;
    Animator& operator=(const Animator&) = delete;

    static Animator& shared();

    /// Seconds on this animator's clock (the frame time during a frame).
    double now() const;
    /// Manual clocks only: moves time to `seconds` and runs one frame.
    void advanceTo(double seconds);
    /// True while the ticker would run: some animation moves or a frame callback exists.
    bool ticking() const;

    /// "Animations off": every animation jumps to its end at the next frame and still
    /// completes.
    void setEnabled(bool enabled);
    bool enabled() const { return m_enabled; }

    /// Calls `callback` with the frame time on every frame until the returned id is
    /// passed to `removeFrameCallback`. Keeps the ticker running (pointer polling).
    int addFrameCallback(std::function<void(double now)> callback);
    void removeFrameCallback(int id);

private:
    friend class Layer;
    class Ticker;

    void attach(Layer* layer);
    void detach(Layer* layer);
    void frame();
    void updateTicker();

    Clock m_clock;
    bool m_manual = false;
    double m_manualNow = 0;
    double m_frameNow = -1;
    bool m_inFrame = false;
    bool m_enabled = true;
    std::vector<Layer*> m_layers;
    std::vector<Layer*> m_repaint; // layers to repaint at the end of the current frame
    std::vector<std::pair<int, std::function<void(double)>>> m_callbacks;
    int m_nextCallback = 1;
    std::unique_ptr<Ticker> m_ticker;
};

} // namespace motion
