#pragma once
// The gallery's animations: values that follow their target with a spring or an easing
// curve, stepped only by the frame's time (io.DeltaTime), never by a clock of their own.

#include <string>

namespace tavel::gallery {

// A damped spring as designers give it: the period of the undamped motion in seconds and
// how much of the critical damping it has (1: no overshoot).
struct Spring {
    float response;
    float dampingFraction;
};

enum class Easing { linear, easeIn, easeOut, easeInOut };

// The eased progress of `t` (clamped to 0...1) on the curve.
float eased(Easing easing, float t);

// A number that moves to where it is sent.
class Animated {
public:
    explicit Animated(float value = 0.0f) : value_(value), from_(value), target_(value) {}

    // Jumps: no motion.
    void set(float value);
    void springTo(float target, Spring spring);
    void easeTo(float target, float seconds, Easing easing);
    void step(float seconds);

    float value() const { return value_; }
    float target() const { return target_; }

private:
    enum class Mode { still, spring, curve };
    Mode mode_ = Mode::still;
    float value_;
    float from_;
    float target_;
    float velocity_ = 0.0f;
    Spring spring_{0.5f, 1.0f};
    float duration_ = 0.0f;
    float elapsed_ = 0.0f;
    Easing easing_ = Easing::linear;
};

// Exchanges one keyed thing for another: the new one fades in while the old one fades out.
class CrossFade {
public:
    CrossFade(float seconds, Easing easing) : seconds_(seconds), easing_(easing) {}

    // From now on `key` is shown; a different key starts a fade, the first one shows at once.
    void show(const std::string& key);
    void step(float seconds);

    const std::string& current() const { return current_; }
    // The key fading out; empty when no fade is running.
    const std::string& previous() const { return previous_; }
    // Opacity of the current key (the previous one has 1 minus it).
    float opacity() const;

private:
    float seconds_;
    Easing easing_;
    std::string current_;
    std::string previous_;
    float elapsed_ = 0.0f;
    bool started_ = false;
};

}  // namespace tavel::gallery
