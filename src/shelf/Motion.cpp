#include "shelf/Motion.h"

#include <QAbstractAnimation>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>

namespace motion {

// ---- Layer ----------------------------------------------------------------

Layer::Layer(std::function<void()> changed, Animator* animator)
    : m_changed(std::move(changed))
    , m_animator(animator) {}

Layer::~Layer() {
    // Also when idle: the layer may still be due a repaint call in this frame.
    animator()->detach(this);
}

Animator* Layer::animator() const {
    return m_animator ? m_animator : &Animator::shared();
}

void Layer::add(const QByteArray& key, Animation animation) {
    std::function<void(bool)> replaced;
    if (!m_running)
        m_running = std::make_unique<std::vector<Running>>();
    auto& list = *m_running;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->key == key) {
            replaced = std::move(it->animation.done);
            list.erase(it);
            break;
        }
    }
    Animator* a = animator();
    const double begin = a->now() + animation.delay;
    list.push_back(Running{key, std::move(animation), begin, false});
    a->attach(this);
    if (replaced)
        replaced(false);
}

void Layer::remove(const QByteArray& key) {
    if (!m_running)
        return;
    auto& list = *m_running;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->key == key) {
            auto done = std::move(it->animation.done);
            const bool wasEnded = it->ended;
            list.erase(it);
            if (list.empty()) {
                m_running.reset();
                animator()->detach(this);
            }
            if (m_changed)
                m_changed();
            if (done && !wasEnded)
                done(false);
            return;
        }
    }
}

void Layer::removeAll() {
    if (!m_running)
        return;
    std::vector<Running> list = std::move(*m_running);
    m_running.reset();
    animator()->detach(this);
    if (m_changed)
        m_changed();
    for (Running& r : list)
        if (r.animation.done && !r.ended)
            r.animation.done(false);
}

bool Layer::has(const QByteArray& key) const {
    if (!m_running)
        return false;
    return std::any_of(m_running->begin(), m_running->end(),
                       [&](const Running& r) { return r.key == key; });
}

bool Layer::animating() const {
    return m_running && !m_running->empty();
}

Value Layer::value(Prop prop, Value model) const {
    if (!m_running)
        return model;
    const double now = animator()->now();
    const bool jump = !animator()->enabled();
    for (auto it = m_running->rbegin(); it != m_running->rend(); ++it) {
        const Animation& a = it->animation;
        if (a.prop != prop)
            continue;
        const double elapsed = jump ? std::numeric_limits<double>::infinity() : now - it->begin;
        if (elapsed < 0) {
            if (a.backwards)
                return a.valueAt(0);
            continue;
        }
        if (elapsed >= a.totalDuration()) {
            if (a.forwards)
                return a.valueAt(a.totalDuration());
            continue; // finished; dropped at the next frame
        }
        return a.valueAt(elapsed);
    }
    return model;
}

// Advances this layer to `now`: finished animations leave (their completions are
// queued), forwards-filled ones hold. Returns whether anything still needs frames.
bool Layer::frame(double now, std::vector<std::function<void(bool)>>& completions) {
    if (!m_running)
        return false;
    const bool jump = !animator()->enabled();
    bool moving = false;
    auto& list = *m_running;
    for (auto it = list.begin(); it != list.end();) {
        if (it->ended) {
            ++it;
            continue;
        }
        const double elapsed = jump ? std::numeric_limits<double>::infinity() : now - it->begin;
        if (elapsed < it->animation.totalDuration()) {
            moving = true;
            ++it;
            continue;
        }
        if (it->animation.done)
            completions.push_back(std::move(it->animation.done));
        it->animation.done = nullptr;
        if (it->animation.forwards) {
            it->ended = true;
            ++it;
        } else {
            it = list.erase(it);
        }
    }
    if (list.empty())
        m_running.reset();
    return moving;
}

// ---- Animator -------------------------------------------------------------

// Qt's animation timer drives the frames: it stops by itself when no animation
// runs, so an idle app has no timer at all.
class Animator::Ticker : public QAbstractAnimation {
public:
    explicit Ticker(Animator* owner)
        : m_owner(owner) {}
    int duration() const override { return -1; }

protected:
    void updateCurrentTime(int) override { m_owner->frame(); }

private:
    Animator* m_owner;
};

Animator::Animator() {
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_clock = [timer] { return double(timer->nsecsElapsed()) / 1e9; };
}

Animator::Animator(double startSeconds)
    : m_manual(true)
    , m_manualNow(startSeconds) {
    m_clock = [this] { return m_manualNow; };
}

Animator::~Animator() {
    if (m_ticker)
        m_ticker->stop();
    for (Layer* layer : m_layers) {
        if (layer) {
            layer->m_running.reset();
            layer->m_attached = false;
        }
    }
}

Animator& Animator::shared() {
    static Animator* instance = new Animator; // lives until exit, like the app
    return *instance;
}

double Animator::now() const {
    return m_inFrame ? m_frameNow : m_clock();
}

void Animator::advanceTo(double seconds) {
    if (!m_manual)
        return;
    m_manualNow = std::max(m_manualNow, seconds);
    frame();
}

bool Animator::ticking() const {
    const bool anyLayer = std::any_of(m_layers.begin(), m_layers.end(),
                                      [](const Layer* layer) { return layer != nullptr; });
    return anyLayer || !m_callbacks.empty();
}

void Animator::setEnabled(bool enabled) {
    m_enabled = enabled;
    updateTicker();
}

int Animator::addFrameCallback(std::function<void(double)> callback) {
    const int id = m_nextCallback++;
    m_callbacks.emplace_back(id, std::move(callback));
    updateTicker();
    return id;
}

void Animator::removeFrameCallback(int id) {
    for (auto& entry : m_callbacks)
        if (entry.first == id)
            entry.second = nullptr; // compacted after the frame, so a callback may remove itself
    if (!m_inFrame)
        std::erase_if(m_callbacks, [](const auto& entry) { return !entry.second; });
    updateTicker();
}

// The flag keeps attaching and detaching constant-time for idle layers, so a
// grid can create and drop thousands of cells without scanning the live list.
void Animator::attach(Layer* layer) {
    if (!layer->m_attached) {
        layer->m_attached = true;
        m_layers.push_back(layer);
    }
    updateTicker();
}

void Animator::detach(Layer* layer) {
    const bool listed = layer->m_attached;
    layer->m_attached = false;
    if (listed) {
        for (Layer*& entry : m_layers)
            if (entry == layer)
                entry = nullptr; // compacted after the frame
    }
    // Only a frame in progress holds layers due a repaint.
    if (m_inFrame) {
        for (Layer*& entry : m_repaint)
            if (entry == layer)
                entry = nullptr;
    }
    if (!listed && !m_inFrame)
        return;
    if (!m_inFrame)
        std::erase(m_layers, nullptr);
    updateTicker();
}

void Animator::frame() {
    if (m_inFrame)
        return;
    m_inFrame = true;
    m_frameNow = m_clock();
    const double now = m_frameNow;

    // Every item of this frame sees the same time; user code (repaints,
    // completions, frame callbacks) runs only after all items advanced, so it may
    // add or remove animations freely.
    std::vector<std::function<void(bool)>> completions;
    m_repaint.clear();
    const size_t count = m_layers.size();
    for (size_t i = 0; i < count; ++i) {
        Layer* layer = m_layers[i];
        if (!layer)
            continue;
        const bool moving = layer->frame(now, completions);
        if (layer->m_changed)
            m_repaint.push_back(layer);
        if (!moving) {
            m_layers[i] = nullptr;
            layer->m_attached = false;
        }
    }
    std::erase(m_layers, nullptr);

    // A repaint callback may destroy another layer; its destructor clears its
    // entry here, so indexes are used rather than iterators.
    for (size_t i = 0; i < m_repaint.size(); ++i)
        if (Layer* layer = m_repaint[i]; layer && layer->m_changed)
            layer->m_changed();
    m_repaint.clear();
    auto callbacks = m_callbacks;
    for (auto& [id, callback] : callbacks)
        if (callback)
            callback(now);
    m_inFrame = false;
    std::erase(m_layers, nullptr);
    std::erase_if(m_callbacks, [](const auto& entry) { return !entry.second; });
    for (auto& done : completions)
        done(true);
    updateTicker();
}

void Animator::updateTicker() {
    if (m_manual)
        return;
    const bool wanted = ticking();
    if (wanted && !m_ticker)
        m_ticker = std::make_unique<Ticker>(this);
    if (!m_ticker)
        return;
    if (wanted && m_ticker->state() != QAbstractAnimation::Running)
        m_ticker->start();
    else if (!wanted && m_ticker->state() == QAbstractAnimation::Running)
        m_ticker->stop();
}

} // namespace motion
