#include "shelf/Fade.h"

#include <cmath>

Fade::Fade(double initial, std::function<void()> changed, motion::Animator* animator)
    : m_layer(std::move(changed), animator)
    , m_model(initial) {}

void Fade::fadeTo(double target, double seconds, std::function<void(bool)> done) {
    const double from = value();
    m_model = target;
    auto animation = motion::Animation::basic(motion::Prop::Opacity, from, target, seconds,
                                              motion::Timing::easeInOut());
    if (done)
        animation.onDone(std::move(done));
    m_layer.add("opacity", std::move(animation));
}

void Fade::set(double value) {
    m_model = value;
    m_layer.remove("opacity");
}

SelectionFade::SelectionFade(std::function<void()> changed, motion::Animator* animator)
    : m_changed(changed)
    , m_bar(0, changed, animator)
    , m_header(1, changed, animator) {}

void SelectionFade::update(int n) {
    const bool show = n > 0;
    if (show == m_shown)
        return;
    m_shown = show;
    m_barVisible = true;
    m_bar.fadeTo(show ? 1 : 0, duration, [this](bool finished) {
        // A show during the fade-out replaces it and keeps the bar: only a
        // fade-out that ran to its end hides it, and the flag is read now.
        if (finished && !m_shown && m_barVisible) {
            m_barVisible = false;
            if (m_changed)
                m_changed();
        }
    });
    m_header.fadeTo(show ? 0 : 1, duration);
    if (m_changed)
        m_changed();
}
