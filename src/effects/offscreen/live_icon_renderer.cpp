#include <epoxy/gl.h>

#include "effects/offscreen/live_icon_renderer.h"

#include "effects/offscreen/icon_compositor.h"
#include "effects/offscreen/offscreen_context.h"
#include "effects/shader_program.h"
#include "effects/uniforms.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <variant>

namespace tavel {

namespace {

// Releases the context when a render call returns, whichever way it returns.
// (A lent context, null here, is current already.)
class CurrentScope {
public:
    CurrentScope(OffscreenContext* context, bool lent)
        : context_(context), current_(lent || (context && context->makeCurrent())) {}
    ~CurrentScope() {
        if (current_ && context_) context_->release();
    }
    explicit operator bool() const { return current_; }

private:
    OffscreenContext* context_;
    bool current_;
};

}  // namespace

LiveIconRenderer::LiveIconRenderer(LogSink& log)
    : log_(log), context_(OffscreenContext::create()) {}

LiveIconRenderer::LiveIconRenderer(LogSink& log, OnCurrentContext) : log_(log), lent_(true) {}

LiveIconRenderer::~LiveIconRenderer() {
    if (!context_ || !context_->makeCurrent()) return;
    for (auto& [id, compiled] : pipelines_) glDeleteProgram(compiled.program);
    if (vertexArray_) glDeleteVertexArrays(1, &vertexArray_);
    if (uniformBuffer_) glDeleteBuffers(1, &uniformBuffer_);
    if (framebuffer_) glDeleteFramebuffers(1, &framebuffer_);
    if (colorTexture_) glDeleteTextures(1, &colorTexture_);
    context_->release();
}

bool LiveIconRenderer::available() const {
    return lent_ || context_ != nullptr;
}

std::string LiveIconRenderer::glRenderer() const {
    CurrentScope scope(context_.get(), lent_);
    if (!scope) return {};
    const auto* text = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return text ? text : "";
}

const CompiledProgram* LiveIconRenderer::pipeline(const ShaderEffect& effect) {
    std::erase(recent_, effect.id);
    if (auto it = pipelines_.find(effect.id); it != pipelines_.end()) {
        recent_.push_back(effect.id);
        return &it->second;
    }
    auto compiled = compileProgram(effect);
    if (auto* error = std::get_if<std::string>(&compiled)) {
        // Nothing is cached, so the next call tries again.
        log_.write("Tavel: icon pipeline failed for " + effect.name + ": " + *error);
        return nullptr;
    }
    // A program costs megabytes on a software renderer: only the latest ones stay.
    while (recent_.size() >= kKeptPipelines) {
        glDeleteProgram(pipelines_.at(recent_.front()).program);
        pipelines_.erase(recent_.front());
        recent_.erase(recent_.begin());
    }
    recent_.push_back(effect.id);
    return &pipelines_.emplace(effect.id, std::get<CompiledProgram>(compiled)).first->second;
}

bool LiveIconRenderer::draw(const ShaderEffect& effect, const ShaderParams& params, int width,
                            int height, float effectTime) {
    if (width <= 0 || height <= 0) return false;
    const CompiledProgram* program = pipeline(effect);
    if (!program) return false;

    if (!vertexArray_) glGenVertexArrays(1, &vertexArray_);
    if (!uniformBuffer_) {
        glGenBuffers(1, &uniformBuffer_);
        glBindBuffer(GL_UNIFORM_BUFFER, uniformBuffer_);
        glBufferData(GL_UNIFORM_BUFFER, sizeof(Uniforms), nullptr, GL_DYNAMIC_DRAW);
    }
    if (width != targetWidth_ || height != targetHeight_) {
        GLint maxSize = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
        if (width > maxSize || height > maxSize) return false;
        if (!framebuffer_) glGenFramebuffers(1, &framebuffer_);
        if (colorTexture_) glDeleteTextures(1, &colorTexture_);
        glGenTextures(1, &colorTexture_);
        glBindTexture(GL_TEXTURE_2D, colorTexture_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     nullptr);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colorTexture_,
                               0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            targetWidth_ = targetHeight_ = 0;
            return false;
        }
        targetWidth_ = width;
        targetHeight_ = height;
    }

    Uniforms u = makeUniforms(&effect, params, effectTime, float(width), float(height));
    glBindBuffer(GL_UNIFORM_BUFFER, uniformBuffer_);
    glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof u, &u);

    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glViewport(0, 0, width, height);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    drawProgram(*program, vertexArray_, uniformBuffer_, true);
    return glGetError() == GL_NO_ERROR;
}

bool LiveIconRenderer::readBack(int width, int height, std::uint8_t* into,
                                std::size_t bytesPerRow) {
    // The picture was drawn upside down, so GL's first row is its top row.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, GLint(bytesPerRow / 4));
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, into);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    return glGetError() == GL_NO_ERROR;
}

bool LiveIconRenderer::renderBGRA(const ShaderEffect& effect, const ShaderParams& params, int width,
                                  int height, float time, std::uint8_t* into,
                                  std::size_t bytesPerRow) {
    if (!into || width <= 0 || bytesPerRow < std::size_t(width) * 4 || bytesPerRow % 4 != 0)
        return false;
    CurrentScope scope(context_.get(), lent_);
    if (!scope || !draw(effect, params, width, height, params.speed * time)) return false;
    return readBack(width, height, into, bytesPerRow);
}

std::optional<Image> LiveIconRenderer::renderImage(const ShaderEffect& effect,
                                                   const ShaderParams& params, int width,
                                                   int height, float time) {
    if (width <= 0 || height <= 0) return std::nullopt;
    Image image{width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 4, 0)};
    if (!renderBGRA(effect, params, width, height, time, image.bgra.data(), std::size_t(width) * 4))
        return std::nullopt;
    return image;
}

float hostMediaTime() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    double seconds = double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
    return static_cast<float>(std::fmod(seconds, 100000.0));
}

std::optional<LiveIconRenderer::Frame> LiveIconRenderer::renderFrame(const ShaderEffect& effect,
                                                                     const ShaderParams& params,
                                                                     float time) {
    constexpr int kSize = 256;
    Image frame{kSize, kSize, std::vector<std::uint8_t>(kSize * kSize * 4, 0)};
    {
        CurrentScope scope(context_.get(), lent_);
        if (!scope || !draw(effect, params, kSize, kSize, params.speed * time) ||
            !readBack(kSize, kSize, frame.bgra.data(), kSize * 4))
            return std::nullopt;
    }
    return Frame{composeDockIcon(frame), composeStatusIcon(frame), sampledAverageColor(frame)};
}

}  // namespace tavel
