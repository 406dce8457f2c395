#include "app/integration/lock_video_renderer.h"

#include "app/integration/ffmpeg_log.h"
#include "app/integration/movie_writer.h"
#include "effects/offscreen/live_icon_renderer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <stop_token>
#include <thread>

namespace tavel {

namespace {

// Flushes a file or folder to disk; a file system that cannot keeps what it can.
void flush(const std::filesystem::path& path, int flags) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// A hidden file beside the destination that the movie is written into; removed unless
// it was moved over the destination.
class TemporaryMovie {
public:
    explicit TemporaryMovie(const std::filesystem::path& destination) {
        folder_ = destination.parent_path();
        if (folder_.empty()) folder_ = ".";
        std::string pattern =
            (folder_ / ("." + destination.filename().string() + ".XXXXXX")).string();
        int fd = mkstemp(pattern.data());
        if (fd < 0)
            throw LockVideoError(LockVideoError::kNotStarted,
                                 "cannot create a file in " + folder_.string(), 0,
                                 std::strerror(errno));
        fchmod(fd, 0644);  // an ordinary movie, not mkstemp's private file
        close(fd);
        path_ = pattern;
    }
    ~TemporaryMovie() {
        if (!path_.empty()) unlink(path_.c_str());
    }
    TemporaryMovie(const TemporaryMovie&) = delete;
    TemporaryMovie& operator=(const TemporaryMovie&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Moves the complete movie over `destination` (a link there is replaced, not
    // followed) and makes both survive a power cut.
    void replace(const std::filesystem::path& destination) {
        flush(path_, 0);
        if (rename(path_.c_str(), destination.c_str()) != 0)
            throw LockVideoError(LockVideoError::kNotCompleted,
                                 "cannot replace " + destination.string(), 0, std::strerror(errno));
        path_.clear();
        flush(folder_, O_DIRECTORY);
    }

private:
    std::filesystem::path folder_, path_;
};

// The frames between the render thread and the encoding thread: slot numbers go from
// the free list to the renderer, then in frame order through the ready list to the
// encoder and back. With MovieWriter::kSlots slots neither side runs more than two
// frames ahead of the other.
class FrameHandoff {
public:
    FrameHandoff() {
        for (int slot = 0; slot < MovieWriter::kSlots; ++slot) free_.push_back(slot);
    }

    // Render thread: a slot to draw into, or -1 once the encoder asked it to stop.
    int takeFree(std::stop_token stop) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait(lock, stop, [&] { return !free_.empty(); })) return -1;
        int slot = free_.front();
        free_.pop_front();
        return slot;
    }
    void putReady(int slot) { put(ready_, slot); }
    // Render thread: ends the movie with its failure.
    void fail(std::exception_ptr error) {
        std::lock_guard lock(mutex_);
        error_ = std::move(error);
        changed_.notify_all();
    }

    // Encoding thread: the next drawn frame; throws the render thread's failure.
    int takeReady() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !ready_.empty() || error_; });
        if (ready_.empty()) std::rethrow_exception(error_);
        int slot = ready_.front();
        ready_.pop_front();
        return slot;
    }
    void putFree(int slot) { put(free_, slot); }

private:
    void put(std::deque<int>& list, int slot) {
        std::lock_guard lock(mutex_);
        list.push_back(slot);
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable_any changed_;
    // Guarded by mutex_.
    std::deque<int> free_, ready_;
    std::exception_ptr error_;
};

struct RenderJob {
    const ShaderEffect& effect;
    const ShaderParams& params;
    int width, height;
    double seconds;
    std::int64_t frames;
    LogSink& log;
};

// The render thread: draws every frame in order into the slots it is handed.
void renderFrames(std::stop_token stop, const RenderJob& job, MovieWriter& writer,
                  FrameHandoff& handoff) {
    try {
        LiveIconRenderer renderer(job.log);  // its own GL context, for this run only
        for (std::int64_t i = 0; i < job.frames; ++i) {
            int slot = handoff.takeFree(stop);
            if (slot < 0) return;
            MovieWriter::BgraTarget target = writer.beginFrame(slot);
            if (!renderer.renderBGRA(job.effect, job.params, job.width, job.height,
                                     LockVideoRenderer::frameTime(i, job.frames, job.seconds),
                                     target.pixels, target.bytesPerRow))
                throw LockVideoError(LockVideoError::kRenderFailed,
                                     "cannot render frame " + std::to_string(i + 1) + " of " +
                                         std::to_string(job.frames) + " of " + job.effect.name);
            writer.endFrame(slot);
            handoff.putReady(slot);
        }
    } catch (...) {
        handoff.fail(std::current_exception());
    }
}

}  // namespace

void LockVideoRenderer::generate(const ShaderEffect& effect, const ShaderParams& params, int width,
                                 int height, double seconds, int fps,
                                 const std::filesystem::path& destination,
                                 const std::function<void(double)>& progress, LogSink& log) {
    if (width < 2 || height < 2 || width % 2 || height % 2)
        throw std::invalid_argument("the movie's width and height must be even and positive");
    const std::int64_t frames = frameCount(seconds, fps);
    FfmpegLogScope logScope(&log);

    TemporaryMovie temporary(destination);
    {
        MovieWriter writer(temporary.path(), {width, height, fps, kBitRate});
        if (frames > 0) {
            FrameHandoff handoff;
            const RenderJob job{effect, params, width, height, seconds, frames, log};
            // Declared last: on any exit it is stopped and joined before the rest goes.
            std::jthread renderer(renderFrames, std::cref(job), std::ref(writer),
                                  std::ref(handoff));
            for (std::int64_t i = 0; i < frames; ++i) {
                int slot = handoff.takeReady();
                writer.append(slot, i);
                handoff.putFree(slot);
                if (progress) progress(double(i + 1) / double(frames));
            }
        }
        writer.finish();
    }
    temporary.replace(destination);
}

}  // namespace tavel
