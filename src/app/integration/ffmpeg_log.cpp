#include "app/integration/ffmpeg_log.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>
#include <mutex>
#include <string>

namespace tavel {

namespace {

// Owned by each thread: the sink its scopes chose, and a line FFmpeg has not ended yet
// (it often logs one line in several calls).
thread_local LogSink* currentSink = nullptr;
thread_local std::string pendingLine;
thread_local int printPrefix = 1;

void route(void* context, int level, const char* format, va_list arguments) {
    LogSink* sink = currentSink;
    if (!sink || level > AV_LOG_WARNING) return;
    char part[1024];
    av_log_format_line2(context, level, format, arguments, part, sizeof part, &printPrefix);
    pendingLine += part;
    if (pendingLine.empty() || pendingLine.back() != '\n') return;
    std::string line = oneLine(pendingLine);
    pendingLine.clear();
    if (!line.empty()) sink->write("Tavel: ffmpeg: " + line);
}

}  // namespace

FfmpegLogScope::FfmpegLogScope(LogSink* sink) : previous_(currentSink) {
    static std::once_flag installed;
    std::call_once(installed, [] { av_log_set_callback(route); });
    currentSink = sink;
}

FfmpegLogScope::~FfmpegLogScope() {
    currentSink = previous_;
    pendingLine.clear();
    printPrefix = 1;
}

}  // namespace tavel
