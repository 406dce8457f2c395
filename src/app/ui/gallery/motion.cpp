#include "app/ui/gallery/motion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavel::gallery {

namespace {

// A cubic Bézier timing curve from (0,0) to (1,1) with control points (x1,y1), (x2,y2).
float bezier(float x1, float y1, float x2, float y2, float x) {
    auto curve = [](float a, float b, float s) {
        const float u = 1.0f - s;
        return 3.0f * u * u * s * a + 3.0f * u * s * s * b + s * s * s;
    };
    // x grows monotonically with s: bisection finds the parameter of x.
    float lo = 0.0f, hi = 1.0f, s = x;
    for (int i = 0; i < 24; ++i) {
        s = 0.5f * (lo + hi);
        (curve(x1, x2, s) < x ? lo : hi) = s;
    }
    return curve(y1, y2, s);
}

}  // namespace

float eased(Easing easing, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    if (t <= 0.0f || t >= 1.0f) return t;
    switch (easing) {
        case Easing::linear:
            return t;
        case Easing::easeIn:
            return bezier(0.42f, 0.0f, 1.0f, 1.0f, t);
        case Easing::easeOut:
            return bezier(0.0f, 0.0f, 0.58f, 1.0f, t);
        case Easing::easeInOut:
            return bezier(0.42f, 0.0f, 0.58f, 1.0f, t);
    }
    return t;
}

void Animated::set(float value) {
    mode_ = Mode::still;
    value_ = from_ = target_ = value;
    velocity_ = 0.0f;
}

void Animated::springTo(float target, Spring spring) {
    if (target == target_ && mode_ != Mode::curve) return;
    target_ = target;
    spring_ = spring;
    mode_ = Mode::spring;  // keeps the velocity it has: a retargeted spring stays smooth
}

void Animated::easeTo(float target, float seconds, Easing easing) {
    if (target == target_ && mode_ == Mode::curve) return;
    if (seconds <= 0.0f) return set(target);
    from_ = value_;
    target_ = target;
    duration_ = seconds;
    elapsed_ = 0.0f;
    easing_ = easing;
    velocity_ = 0.0f;
    mode_ = Mode::curve;
}

void Animated::step(float seconds) {
    if (mode_ == Mode::curve) {
        elapsed_ += seconds;
        if (elapsed_ >= duration_) return set(target_);
        value_ = from_ + (target_ - from_) * eased(easing_, elapsed_ / duration_);
    } else if (mode_ == Mode::spring) {
        const float omega = 2.0f * std::numbers::pi_v<float> / std::max(spring_.response, 0.01f);
        const float stiffness = omega * omega;
        const float damping = 2.0f * spring_.dampingFraction * omega;
        // Small fixed steps keep the integration stable whatever the frame time.
        constexpr float kStep = 1.0f / 240.0f;
        for (float left = seconds; left > 0.0f; left -= kStep) {
            const float h = std::min(left, kStep);
            velocity_ += (-stiffness * (value_ - target_) - damping * velocity_) * h;
            value_ += velocity_ * h;
        }
        if (std::abs(value_ - target_) < 1e-4f && std::abs(velocity_) < 1e-3f) set(target_);
    }
}

void CrossFade::show(const std::string& key) {
    if (!started_) {
        started_ = true;
        current_ = key;
        return;
    }
    if (key == current_) return;
    previous_ = current_;
    current_ = key;
    elapsed_ = 0.0f;
}

void CrossFade::step(float seconds) {
    if (previous_.empty()) return;
    elapsed_ += seconds;
    if (elapsed_ >= seconds_) previous_.clear();
}

float CrossFade::opacity() const {
    return previous_.empty() ? 1.0f : eased(easing_, elapsed_ / seconds_);
}

}  // namespace tavel::gallery
