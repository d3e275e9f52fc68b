#pragma once

#include "shelf/Motion.h"

#include <functional>

/// One opacity that fades: a model value that changes at once and a presentation
/// value that follows it over time. A fade starts from what is on screen, so a
/// reversal halfway through never jumps.
class Fade {
public:
    explicit Fade(double initial, std::function<void()> changed = {},
                  motion::Animator* animator = nullptr);

    /// Fades to `target` over `seconds`; `done` runs when the fade ends or is
    /// replaced (finished false then). A zero duration still completes.
    void fadeTo(double target, double seconds, std::function<void(bool finished)> done = {});
    /// Sets the value at once, dropping a running fade.
    void set(double value);

    /// What is on screen now.
    double value() const { return m_layer.value(motion::Prop::Opacity, m_model); }
    /// Where it ends.
    double target() const { return m_model; }
    bool fading() const { return m_layer.animating(); }

private:
    motion::Layer m_layer;
    double m_model;
};

/// The shelf's header and selection bar trading places while frames are selected:
/// the bar fades in over the header, the header fades out, and back. The bar is
/// hidden only once a fade-out has ended and nothing showed it again meanwhile.
class SelectionFade {
public:
    static constexpr double duration = 0.16;

    explicit SelectionFade(std::function<void()> changed = {},
                           motion::Animator* animator = nullptr);

    /// Shows the bar for n > 0 selected frames, hides it for 0.
    void update(int n);

    bool shown() const { return m_shown; }
    bool barVisible() const { return m_barVisible; }
    double barOpacity() const { return m_bar.value(); }
    double headerOpacity() const { return m_header.value(); }

private:
    std::function<void()> m_changed;
    Fade m_bar;
    Fade m_header;
    bool m_shown = false;
    bool m_barVisible = false;
};
