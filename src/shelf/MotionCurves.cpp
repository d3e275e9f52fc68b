#include "shelf/Motion.h"

#include <algorithm>
#include <cmath>

// How a value moves over time: timing curves, springs, and animations built
// from them.

namespace motion {

// ---- Timing ---------------------------------------------------------------

namespace {

double bezier(double a, double b, double t) {
    // One coordinate of a cubic bezier from 0 to 1 with control values a and b.
    const double u = 1 - t;
    return 3 * u * u * t * a + 3 * u * t * t * b + t * t * t;
}

double bezierSlope(double a, double b, double t) {
    const double u = 1 - t;
    return 3 * u * u * a + 6 * u * t * (b - a) + 3 * t * t * (1 - b);
}

} // namespace

double Timing::at(double x) const {
    if (x <= 0)
        return 0;
    if (x >= 1)
        return 1;
    if (m_x1 == m_y1 && m_x2 == m_y2)
        return x; // linear
    // Newton's method converges in a few steps for the usual curves; bisection
    // catches the flat spots where the slope vanishes.
    double t = x;
    for (int i = 0; i < 8; ++i) {
        const double error = bezier(m_x1, m_x2, t) - x;
        if (std::abs(error) < 1e-7)
            return bezier(m_y1, m_y2, t);
        const double slope = bezierSlope(m_x1, m_x2, t);
        if (std::abs(slope) < 1e-6)
            break;
        t -= error / slope;
    }
    double lo = 0, hi = 1;
    t = x;
    for (int i = 0; i < 60; ++i) {
        const double value = bezier(m_x1, m_x2, t);
        if (std::abs(value - x) < 1e-7)
            break;
        (value < x ? lo : hi) = t;
        t = (lo + hi) / 2;
    }
    return bezier(m_y1, m_y2, t);
}

// ---- Spring ---------------------------------------------------------------

double Spring::displacement(double t) const {
    if (t <= 0)
        return 1;
    const double w0 = std::sqrt(stiffness / mass);
    const double zeta = damping / (2 * std::sqrt(stiffness * mass));
    if (std::abs(zeta - 1) < 1e-9)
        return (1 + w0 * t) * std::exp(-w0 * t);
    if (zeta < 1) {
        const double wd = w0 * std::sqrt(1 - zeta * zeta);
        return std::exp(-zeta * w0 * t) * (std::cos(wd * t) + (zeta * w0 / wd) * std::sin(wd * t));
    }
    const double root = std::sqrt(zeta * zeta - 1);
    const double slow = -w0 * (zeta - root);
    const double fast = -w0 * (zeta + root);
    return (fast * std::exp(slow * t) - slow * std::exp(fast * t)) / (fast - slow);
}

double Spring::settlingDuration() const {
    constexpr double epsilon = 0.001;
    constexpr double step = 0.001;
    constexpr double longest = 30;
    thread_local std::map<std::tuple<double, double, double>, double> cache;
    const auto key = std::make_tuple(mass, stiffness, damping);
    if (const auto it = cache.find(key); it != cache.end())
        return it->second;

    double bound = longest;
    if (mass > 0 && stiffness > 0 && damping > 0) {
        const double w0 = std::sqrt(stiffness / mass);
        const double zeta = damping / (2 * std::sqrt(stiffness * mass));
        if (zeta < 1) {
            const double amplitude = 1 / std::sqrt(1 - zeta * zeta);
            bound = std::log(amplitude / epsilon) / (zeta * w0);
        } else {
            // The slow root dominates; near critical damping the polynomial factor
            // stretches the tail, hence the margin.
            const double slow = w0 * (zeta - std::sqrt(zeta * zeta - 1));
            bound = 1.5 * std::log(1 / epsilon) / slow;
        }
        while (bound < longest && std::abs(displacement(bound)) > epsilon)
            bound *= 1.5;
        bound = std::min(bound, longest);
    }
    double t = std::ceil(bound / step) * step;
    while (t > 0 && std::abs(displacement(t)) <= epsilon)
        t -= step;
    const double settled = std::max(t, 0.0);
    cache.emplace(key, settled);
    return settled;
}

// ---- Animation ------------------------------------------------------------

Animation Animation::basic(Prop prop, Value from, Value to, double duration, Timing timing) {
    Animation a;
    a.kind = Kind::Basic;
    a.prop = prop;
    a.from = from;
    a.to = to;
    a.duration = std::max(0.0, duration);
    a.timing = timing;
    return a;
}

Animation Animation::basic(Prop prop, double from, double to, double duration, Timing timing) {
    return basic(prop, Value{from, 0}, Value{to, 0}, duration, timing);
}

Animation Animation::spring(Prop prop, Value from, Value to, Spring spring) {
    Animation a;
    a.kind = Kind::Spring;
    a.prop = prop;
    a.from = from;
    a.to = to;
    a.springParams = spring;
    a.duration = spring.settlingDuration();
    return a;
}

Animation Animation::spring(Prop prop, double from, double to, Spring spring) {
    return Animation::spring(prop, Value{from, 0}, Value{to, 0}, spring);
}

Animation Animation::keyFrames(Prop prop, std::vector<double> values, std::vector<double> keyTimes,
                               double duration, Timing timing) {
    Animation a;
    a.kind = Kind::KeyFrames;
    a.prop = prop;
    if (keyTimes.size() != values.size()) {
        // Without matching key times the values are spread evenly.
        keyTimes.clear();
        for (size_t i = 0; i < values.size(); ++i)
            keyTimes.push_back(values.size() > 1 ? double(i) / double(values.size() - 1) : 0.0);
    }
    if (!values.empty()) {
        a.from = Value{values.front(), 0};
        a.to = Value{values.back(), 0};
    }
    a.values = std::move(values);
    a.keyTimes = std::move(keyTimes);
    a.duration = std::max(0.0, duration);
    a.timing = timing;
    return a;
}

Animation& Animation::delayed(double seconds) {
    delay = std::max(0.0, seconds);
    return *this;
}

Animation& Animation::fillBackwards() {
    backwards = true;
    return *this;
}

Animation& Animation::fillForwards() {
    forwards = true;
    return *this;
}

Animation& Animation::repeated(int count) {
    repeatCount = std::max(1, count);
    return *this;
}

Animation& Animation::onDone(std::function<void(bool)> callback) {
    done = std::move(callback);
    return *this;
}

Value Animation::valueAt(double elapsed) const {
    if (elapsed <= 0)
        return kind == Kind::KeyFrames && !values.empty() ? Value{values.front(), 0} : from;
    if (elapsed >= totalDuration() || duration <= 0)
        return to;
    const double local = std::fmod(elapsed, duration);
    double p = 0;
    if (kind == Kind::Spring) {
        p = springParams.at(local);
    } else {
        p = timing.at(local / duration);
    }
    if (kind == Kind::KeyFrames) {
        if (values.size() < 2)
            return to;
        size_t i = 1;
        while (i + 1 < keyTimes.size() && keyTimes[i] < p)
            ++i;
        const double t0 = keyTimes[i - 1], t1 = keyTimes[i];
        const double f = t1 > t0 ? std::clamp((p - t0) / (t1 - t0), 0.0, 1.0) : 1.0;
        return Value{values[i - 1] + (values[i] - values[i - 1]) * f, 0};
    }
    return Value{from[0] + (to[0] - from[0]) * p, from[1] + (to[1] - from[1]) * p};
}

} // namespace motion
