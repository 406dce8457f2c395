#pragma once
// FFmpeg writes its messages to standard error unless told otherwise. The movie encoder
// sends FFmpeg's warnings and errors to its log sink instead, one line each, and drops
// the rest: FFmpeg's own error texts reach the caller inside the errors it throws.

#include "effects/log_sink.h"

namespace tavel {

// While a scope lives, FFmpeg's warnings and errors logged on this thread go to `sink`
// as "Tavel: ffmpeg: ..." lines; a null sink mutes them (an encoder that is only
// being tried). Lines from other threads, or outside any scope, are dropped. Scopes
// nest; the inner one wins until it ends.
class FfmpegLogScope {
public:
    explicit FfmpegLogScope(LogSink* sink);
    ~FfmpegLogScope();
    FfmpegLogScope(const FfmpegLogScope&) = delete;
    FfmpegLogScope& operator=(const FfmpegLogScope&) = delete;

private:
    LogSink* previous_;
};

}  // namespace tavel
