#pragma once
// Frosted glass for the gallery's panels: a blurred copy of a picture, made from a
// quarter-size copy with two separable Gaussian passes, so it stays cheap on a software
// rasteriser (a 1020x660 picture costs a few passes over 255x165 pixels). Main thread,
// with the gallery's GL context current in every call, the destructor included.

namespace tavel {

class GlassBlur {
public:
    GlassBlur() = default;
    ~GlassBlur();
    GlassBlur(const GlassBlur&) = delete;
    GlassBlur& operator=(const GlassBlur&) = delete;

    // Blurs `texture` (width x height) into this blur's own texture and returns it (same
    // orientation, a quarter of the size); 0 when the driver refuses.
    unsigned blur(unsigned texture, int width, int height);
    unsigned result() const { return targets_[0].texture; }

private:
    struct Target {
        unsigned framebuffer = 0;
        unsigned texture = 0;
    };
    bool prepare(int width, int height);
    void pass(unsigned source, const Target& into, float stepX, float stepY, float taps);
    void releaseTargets();

    unsigned program_ = 0;
    unsigned vertexArray_ = 0;
    int stepLocation_ = -1, tapsLocation_ = -1;
    bool failed_ = false;
    int width_ = 0, height_ = 0;
    Target targets_[2];
};

}  // namespace tavel
