#pragma once
// Renders single frames of an effect offscreen and hands back the pixels.
//
// Each instance owns its own GL context. It may be used from any thread, but from
// one thread at a time (the owner serialises calls); every call makes the context
// current on the calling thread and releases it before returning.

#include "effects/catalog.h"
#include "effects/log_sink.h"
#include "effects/offscreen/image.h"
#include "effects/shader_params.h"
#include "effects/shader_program.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavel {

class OffscreenContext;

// The host's monotonic time in seconds, modulo 100,000 (a float keeps its fractions).
float hostMediaTime();

class LiveIconRenderer {
public:
    struct Frame {
        Image dockIcon;     // 256x256: the frame in a rounded tile with a hairline
        Image statusIcon;   // 19x19: the frame in a small rounded square
        Rgba averageColor;  // mean of sampled pixels of the 256x256 frame, opaque
    };

    // Lines about failed compiles go to `log`. Creating the context may fail (no
    // usable EGL/GL 3.3): the renderer then renders nothing, like a machine without GPU.
    explicit LiveIconRenderer(LogSink& log);
    // Renders with the GL 3.3 context that is current on the thread it is used from (an
    // application's background GL thread, whose context it shares): no context of its
    // own. Its GL objects go with that context; it is destroyed without touching them.
    struct OnCurrentContext {};
    LiveIconRenderer(LogSink& log, OnCurrentContext);
    ~LiveIconRenderer();
    LiveIconRenderer(const LiveIconRenderer&) = delete;
    LiveIconRenderer& operator=(const LiveIconRenderer&) = delete;

    // True when a GL context could be made (or one is lent).
    bool available() const;
    // The GL renderer string of the context ("llvmpipe (...)"), empty when unavailable.
    std::string glRenderer() const;

    // A 256x256 frame at `time` (the host's media time in seconds, hostMediaTime())
    // times params.speed, as icons.
    std::optional<Frame> renderFrame(const ShaderEffect& effect, const ShaderParams& params,
                                     float time);

    // A width x height image (BGRA, top row first) at effect time params.speed x time.
    std::optional<Image> renderImage(const ShaderEffect& effect, const ShaderParams& params,
                                     int width, int height, float time = 40.0f);

    // Writes width x height BGRA pixels, top row first, into caller memory of at least
    // height x bytesPerRow bytes (a multiple of 4, at least width x 4). Returns false and leaves
    // the memory untouched when nothing could be rendered.
    bool renderBGRA(const ShaderEffect& effect, const ShaderParams& params, int width, int height,
                    float time, std::uint8_t* into, std::size_t bytesPerRow);

private:
    const CompiledProgram* pipeline(const ShaderEffect& effect);
    bool draw(const ShaderEffect& effect, const ShaderParams& params, int width, int height,
              float effectTime);
    bool readBack(int width, int height, std::uint8_t* into, std::size_t bytesPerRow);

    LogSink& log_;
    std::unique_ptr<OffscreenContext> context_;
    bool lent_ = false;  // the thread's current context, not one of its own
    // Owned by whichever thread is rendering; guarded by the one-thread-at-a-time rule.
    static constexpr std::size_t kKeptPipelines = 2;    // the icons' effect and the still's
    std::map<std::string, CompiledProgram> pipelines_;  // effect id -> linked program
    std::vector<std::string> recent_;                   // its keys, the latest used last
    unsigned vertexArray_ = 0;
    unsigned uniformBuffer_ = 0;
    unsigned framebuffer_ = 0;
    unsigned colorTexture_ = 0;
    int targetWidth_ = 0;
    int targetHeight_ = 0;
};

}  // namespace tavel
