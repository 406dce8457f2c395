#include <epoxy/gl.h>

#include "effects/gl_frame_renderer.h"

#include "effects/shader_program.h"

#include <array>

namespace tavel {

namespace {

// The fade: one covering triangle of black at a set alpha.
constexpr const char* kFadeFragment = R"(#version 330 core
uniform float alpha;
out vec4 color;
void main() {
    color = vec4(0.0, 0.0, 0.0, alpha);
}
)";

// 0 when the driver refuses it; frames are then drawn without their fade.
GLuint makeFadeProgram() {
    auto linked = linkProgram(kCoveringTriangleVertex, kFadeFragment);
    return std::holds_alternative<unsigned>(linked) ? std::get<unsigned>(linked) : 0;
}

}  // namespace

struct GlFrameRenderer::Objects {
    // An offscreen target of one size. Windows of different sizes at reduced quality each
    // keep theirs, so no frame allocates.
    struct Target {
        int width = 0, height = 0;
        GLuint framebuffer = 0;
        GLuint colour = 0;
        unsigned lastUse = 0;
    };
    static constexpr std::size_t kMaxTargets = 8;

    GLuint vertexArray = 0;
    GLuint uniformBuffer = 0;
    GLuint fadeProgram = 0;
    GLint fadeAlphaLocation = -1;
    std::array<Target, kMaxTargets> targets{};
    unsigned useCounter = 0;

    Objects() {
        glGenVertexArrays(1, &vertexArray);
        glGenBuffers(1, &uniformBuffer);
        glBindBuffer(GL_UNIFORM_BUFFER, uniformBuffer);
        glBufferData(GL_UNIFORM_BUFFER, sizeof(Uniforms), nullptr, GL_DYNAMIC_DRAW);
        glBindBuffer(GL_UNIFORM_BUFFER, 0);
        fadeProgram = makeFadeProgram();
        if (fadeProgram != 0) fadeAlphaLocation = glGetUniformLocation(fadeProgram, "alpha");
    }

    void release() {
        for (Target& t : targets) dropTarget(t);
        glDeleteVertexArrays(1, &vertexArray);
        glDeleteBuffers(1, &uniformBuffer);
        if (fadeProgram != 0) glDeleteProgram(fadeProgram);
    }

    static void dropTarget(Target& t) {
        if (t.framebuffer != 0) glDeleteFramebuffers(1, &t.framebuffer);
        if (t.colour != 0) glDeleteRenderbuffers(1, &t.colour);
        t = Target{};
    }

    // The framebuffer of the given size, made when missing (replacing the one used
    // longest ago when all are taken); 0 when the driver cannot make it.
    GLuint target(int width, int height) {
        ++useCounter;
        Target* slot = nullptr;
        for (Target& t : targets) {
            if (t.framebuffer != 0 && t.width == width && t.height == height) {
                t.lastUse = useCounter;
                return t.framebuffer;
            }
            if (!slot ||
                (slot->framebuffer != 0 && (t.framebuffer == 0 || t.lastUse < slot->lastUse)))
                slot = &t;
        }
        dropTarget(*slot);
        glGenRenderbuffers(1, &slot->colour);
        glBindRenderbuffer(GL_RENDERBUFFER, slot->colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glGenFramebuffers(1, &slot->framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, slot->framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  slot->colour);
        bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        if (!complete) {
            dropTarget(*slot);
            return 0;
        }
        slot->width = width;
        slot->height = height;
        slot->lastUse = useCounter;
        return slot->framebuffer;
    }
};

GlFrameRenderer::GlFrameRenderer() = default;
GlFrameRenderer::~GlFrameRenderer() = default;

void GlFrameRenderer::releaseGlObjects() {
    if (objects_) objects_->release();
    objects_.reset();
}

void GlFrameRenderer::drawFrame(unsigned program, int topRowFirstLocation, const Uniforms& uniforms,
                                int drawableWidth, int drawableHeight, int surfaceWidth,
                                int surfaceHeight, float fade) {
    if (program == 0 || drawableWidth < 1 || drawableHeight < 1 || surfaceWidth < 1 ||
        surfaceHeight < 1)
        return;
    if (!objects_) objects_ = std::make_unique<Objects>();
    Objects& o = *objects_;

    glBindBuffer(GL_UNIFORM_BUFFER, o.uniformBuffer);
    glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(Uniforms), &uniforms);
    glBindBuffer(GL_UNIFORM_BUFFER, 0);

    glDisable(GL_BLEND);
    // The surface's own framebuffer: the window's (0), or a texture's that the surface
    // bound when it was made current.
    GLint bound = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &bound);
    const GLuint surface = static_cast<GLuint>(bound);
    bool direct = drawableWidth == surfaceWidth && drawableHeight == surfaceHeight;
    GLuint framebuffer = direct ? surface : o.target(drawableWidth, drawableHeight);
    if (!direct && framebuffer == 0) return;

    // Window rows run bottom-up like GL's own, so the program is not flipped there; a
    // texture holds an image, top row first, as image views sample it.
    CompiledProgram compiled{program, topRowFirstLocation};
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, drawableWidth, drawableHeight);
    drawProgram(compiled, o.vertexArray, o.uniformBuffer, surface != 0);

    if (!direct) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, surface);
        glBlitFramebuffer(0, 0, drawableWidth, drawableHeight, 0, 0, surfaceWidth, surfaceHeight,
                          GL_COLOR_BUFFER_BIT, GL_LINEAR);
        glBindFramebuffer(GL_FRAMEBUFFER, surface);
        glViewport(0, 0, surfaceWidth, surfaceHeight);
    }

    // NaN counts as fully shown; values outside 0...1 are clamped.
    if (fade < 1.0f && o.fadeProgram != 0) {
        float alpha = fade > 0.0f ? 1.0f - fade : 1.0f;
        glEnable(GL_BLEND);
        // The surface's own alpha stays as the program left it.
        glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
        glUseProgram(o.fadeProgram);
        glUniform1f(o.fadeAlphaLocation, alpha);
        glBindVertexArray(o.vertexArray);
        glDrawArrays(GL_TRIANGLES, 0, 3);
        glDisable(GL_BLEND);
    }
    glBindVertexArray(0);
    glUseProgram(0);
    ++framesDrawn_;
}

}  // namespace tavel
