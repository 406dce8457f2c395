#include <epoxy/gl.h>

#include "app/ui/host/glass_blur.h"

#include "app/ui/host/texture_surface.h"
#include "effects/shader_program.h"

#include <algorithm>

namespace tavel {

namespace {

constexpr const char* kVertex = R"(#version 330 core
out vec2 uv;
void main() {
    vec2 corner = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);
    uv = corner * 0.5 + 0.5;
    gl_Position = vec4(corner, 0.0, 1.0);
}
)";

// `taps` 0: a 4x4 box through four bilinear samples (the quarter-size copy). Otherwise
// a 9-tap Gaussian along `step`, read as five bilinear samples.
constexpr const char* kFragment = R"(#version 330 core
uniform sampler2D source;
uniform vec2 texel;
uniform float taps;
in vec2 uv;
out vec4 color;
void main() {
    if (taps == 0.0) {
        color = 0.25 * (texture(source, uv + vec2(-texel.x, -texel.y)) +
                        texture(source, uv + vec2(texel.x, -texel.y)) +
                        texture(source, uv + vec2(-texel.x, texel.y)) +
                        texture(source, uv + vec2(texel.x, texel.y)));
        return;
    }
    color = texture(source, uv) * 0.2270270270;
    color += (texture(source, uv + texel * 1.3846153846) +
              texture(source, uv - texel * 1.3846153846)) * 0.3162162162;
    color += (texture(source, uv + texel * 3.2307692308) +
              texture(source, uv - texel * 3.2307692308)) * 0.0702702703;
}
)";

}  // namespace

GlassBlur::~GlassBlur() {
    releaseTargets();
    if (program_ != 0) glDeleteProgram(program_);
    if (vertexArray_ != 0) glDeleteVertexArrays(1, &vertexArray_);
}

void GlassBlur::releaseTargets() {
    for (Target& t : targets_) {
        if (t.framebuffer != 0) glDeleteFramebuffers(1, &t.framebuffer);
        if (t.texture != 0) glDeleteTextures(1, &t.texture);
        t = Target{};
    }
    width_ = height_ = 0;
}

bool GlassBlur::prepare(int width, int height) {
    if (failed_) return false;
    if (program_ == 0) {
        auto linked = linkProgram(kVertex, kFragment);
        if (!std::holds_alternative<unsigned>(linked)) {
            failed_ = true;
            return false;
        }
        program_ = std::get<unsigned>(linked);
        stepLocation_ = glGetUniformLocation(program_, "texel");
        tapsLocation_ = glGetUniformLocation(program_, "taps");
        glGenVertexArrays(1, &vertexArray_);
    }
    if (width == width_ && height == height_) return true;
    releaseTargets();
    for (Target& t : targets_) {
        t.texture = makeTexture(width, height);
        t.framebuffer = makeFramebuffer(t.texture);
        if (t.framebuffer == 0) {
            releaseTargets();
            failed_ = true;
            return false;
        }
    }
    width_ = width;
    height_ = height;
    return true;
}

void GlassBlur::pass(unsigned source, const Target& into, float stepX, float stepY, float taps) {
    glBindFramebuffer(GL_FRAMEBUFFER, into.framebuffer);
    glBindTexture(GL_TEXTURE_2D, source);
    glUniform2f(stepLocation_, stepX, stepY);
    glUniform1f(tapsLocation_, taps);
    glDrawArrays(GL_TRIANGLES, 0, 3);
}

unsigned GlassBlur::blur(unsigned texture, int width, int height) {
    const int w = std::max(width / 4, 1), h = std::max(height / 4, 1);
    if (texture == 0 || !prepare(w, h)) return 0;
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glDisable(GL_BLEND);
    glDisable(GL_SCISSOR_TEST);
    glViewport(0, 0, w, h);
    glUseProgram(program_);
    glBindVertexArray(vertexArray_);
    glActiveTexture(GL_TEXTURE0);
    // Quarter size: four bilinear reads one source pixel off the centre cover 4x4 pixels.
    pass(texture, targets_[0], 1.0f / width, 1.0f / height, 0.0f);
    for (int round = 0; round < 2; ++round) {
        pass(targets_[0].texture, targets_[1], 1.0f / w, 0.0f, 9.0f);
        pass(targets_[1].texture, targets_[0], 0.0f, 1.0f / h, 9.0f);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindVertexArray(0);
    glUseProgram(0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    return targets_[0].texture;
}

}  // namespace tavel
