#include "app/integration/movie_writer.h"

#include "app/integration/ffmpeg_log.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <vector>

namespace tavel {

namespace {

// libx265's preset, chosen by measurement on the 2-core build machines, where llvmpipe
// rendering and the encoder share the processors, so the encoder's processor time is what
// counts. Encoding 60 frames of 1080p at 28 Mbit/s: ultrafast 7 s of processor time,
// superfast 8.5 s, veryfast 12.6 s; the frames' PSNR 54.2, 54.3 and 54.5 dB. At this
// bit rate the faster presets lose nothing visible.
constexpr const char* kX265Preset = "ultrafast";
// No B-frames: x265 leaves the decoding times of a movie shorter than its reordering
// delay (one or two frames) uninitialised, which the muxer then refuses. At this bit rate
// B-frames buy nothing visible (measured: PSNR and processor time unchanged), and a
// movie without reordering needs no edit list to start at its first frame.
constexpr const char* kX265Params = "log-level=error:bframes=0";

std::string errorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

[[noreturn]] void fail(LockVideoError::Code code, const std::string& what, int error = 0) {
    throw LockVideoError(code, what, error, error ? errorText(error) : std::string());
}

bool takesPixels(const AVCodec* codec, AVPixelFormat wanted) {
    for (const AVPixelFormat* format = codec->pix_fmts; format && *format != AV_PIX_FMT_NONE;
         ++format)
        if (*format == wanted) return true;
    return false;
}

// An open encoder for `codec`, or null with `error` set. `hwFrames`, when given, is the
// pool of hardware surfaces it takes its frames from (`pixels` is then its hardware format).
AVCodecContext* openEncoder(const AVCodec* codec, AVPixelFormat pixels, const MovieFormat& format,
                            bool globalHeader, int& error, AVBufferRef* hwFrames = nullptr) {
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    if (!encoder) {
        error = AVERROR(ENOMEM);
        return nullptr;
    }
    if (hwFrames) {
        encoder->hw_frames_ctx = av_buffer_ref(hwFrames);
        // No reordering, as for libx265 below: the movie then starts at its first frame.
        encoder->max_b_frames = 0;
    }
    encoder->width = format.width;
    encoder->height = format.height;
    encoder->pix_fmt = pixels;
    encoder->time_base = {1, format.fps};
    encoder->framerate = {format.fps, 1};
    encoder->bit_rate = format.bitRate;
    // The renderer's pixels are sRGB; the converter writes limited-range BT.709.
    encoder->color_range = AVCOL_RANGE_MPEG;
    encoder->colorspace = AVCOL_SPC_BT709;
    encoder->color_primaries = AVCOL_PRI_BT709;
    encoder->color_trc = AVCOL_TRC_BT709;
    // The movie keeps the parameter sets in its sample description, as hvc1 asks.
    if (globalHeader) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (std::string(codec->name) == "libx265") {
        av_dict_set(&options, "preset", kX265Preset, 0);
        av_dict_set(&options, "x265-params", kX265Params, 0);
    }
    error = avcodec_open2(encoder, codec, &options);
    av_dict_free(&options);
    if (error < 0) avcodec_free_context(&encoder);
    return encoder;
}

// The render nodes of the machine's GPUs, in order; none on a machine without one.
std::vector<std::string> renderNodes() {
    std::vector<std::string> nodes;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", error))
        if (entry.path().filename().string().starts_with("renderD"))
            nodes.push_back(entry.path().string());
    std::sort(nodes.begin(), nodes.end());
    return nodes;
}

// hevc_vaapi on the first render node whose driver opens it, taking NV12 surfaces
// uploaded from memory; null when none does. `device` gets the node's device context.
AVCodecContext* openVaapiEncoder(const MovieFormat& format, bool globalHeader,
                                 AVBufferRef*& device) {
    const AVCodec* vaapi = avcodec_find_encoder_by_name("hevc_vaapi");
    if (!vaapi) return nullptr;
    for (const std::string& node : renderNodes()) {
        AVDictionary* options = nullptr;
        av_dict_set(&options, "connection_type", "drm", 0);  // the node itself, not X11
        const int opened =
            av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, node.c_str(), options, 0);
        av_dict_free(&options);
        if (opened < 0) continue;
        AVCodecContext* encoder = nullptr;
        if (AVBufferRef* frames = av_hwframe_ctx_alloc(device)) {
            auto* pool = reinterpret_cast<AVHWFramesContext*>(frames->data);
            pool->format = AV_PIX_FMT_VAAPI;
            pool->sw_format = AV_PIX_FMT_NV12;
            pool->width = format.width;
            pool->height = format.height;
            int error = av_hwframe_ctx_init(frames);
            if (error >= 0)
                encoder = openEncoder(vaapi, AV_PIX_FMT_VAAPI, format, globalHeader, error, frames);
            av_buffer_unref(&frames);
        }
        if (encoder) return encoder;
        av_buffer_unref(&device);
    }
    return nullptr;
}

AVFrame* allocateFrame(AVPixelFormat pixels, int width, int height) {
    AVFrame* frame = av_frame_alloc();
    if (!frame) fail(LockVideoError::kNoFramePool, "cannot allocate a frame", AVERROR(ENOMEM));
    frame->format = pixels;
    frame->width = width;
    frame->height = height;
    if (int error = av_frame_get_buffer(frame, 0); error < 0) {
        av_frame_free(&frame);
        fail(LockVideoError::kNoFramePool, "cannot allocate a frame's pixels", error);
    }
    return frame;
}

}  // namespace

struct MovieWriter::State {
    MovieFormat format;
    // Owned by the appending thread after construction.
    AVFormatContext* muxer = nullptr;  // owns the file once it is open
    AVBufferRef* device = nullptr;     // the GPU of a hardware encoder that takes surfaces
    AVCodecContext* encoder = nullptr;
    AVFrame* upload = nullptr;  // the surface a slot's pixels go to, with such an encoder
    AVStream* stream = nullptr;
    AVPacket* packet = nullptr;
    // Owned by the filling thread: null converter when the encoder takes BGRA.
    SwsContext* converter = nullptr;
    AVFrame* scratch = nullptr;
    // Each slot is owned by whichever thread its number was handed to.
    std::array<AVFrame*, kSlots> slots{};

    ~State() {
        for (AVFrame*& frame : slots) av_frame_free(&frame);
        av_frame_free(&scratch);
        sws_freeContext(converter);
        av_packet_free(&packet);
        av_frame_free(&upload);
        avcodec_free_context(&encoder);
        av_buffer_unref(&device);
        if (muxer && muxer->pb) avio_closep(&muxer->pb);
        avformat_free_context(muxer);
    }

    void openEncoder() {
        const bool globalHeader = muxer->oformat->flags & AVFMT_GLOBALHEADER;
        int error = 0;
        // The hardware encoders first. NVENC takes the renderer's BGRA as it is; VAAPI
        // takes NV12 surfaces, converted and uploaded. Trying them on a machine without
        // one logs only why they cannot open: that stays quiet. Without a render node
        // VAAPI is not even tried.
        {
            FfmpegLogScope quiet(nullptr);
            if (const AVCodec* nvenc = avcodec_find_encoder_by_name("hevc_nvenc");
                nvenc && takesPixels(nvenc, AV_PIX_FMT_BGRA))
                encoder = tavel::openEncoder(nvenc, AV_PIX_FMT_BGRA, format, globalHeader, error);
            if (!encoder) encoder = openVaapiEncoder(format, globalHeader, device);
        }
        if (!encoder) {
            const AVCodec* x265 = avcodec_find_encoder_by_name("libx265");
            if (!x265) fail(LockVideoError::kNotStarted, "no HEVC encoder is available");
            encoder = tavel::openEncoder(x265, AV_PIX_FMT_YUV420P, format, globalHeader, error);
            if (!encoder) fail(LockVideoError::kNotStarted, "cannot open the HEVC encoder", error);
        }
    }

    void allocateFrames() {
        // Slots in memory: with surfaces, in the pixels they are uploaded from.
        AVPixelFormat pixels = encoder->pix_fmt;
        if (encoder->hw_frames_ctx) {
            pixels = reinterpret_cast<AVHWFramesContext*>(encoder->hw_frames_ctx->data)->sw_format;
            upload = av_frame_alloc();
            if (!upload)
                fail(LockVideoError::kNoFramePool, "cannot allocate a frame", AVERROR(ENOMEM));
        }
        for (AVFrame*& frame : slots) frame = allocateFrame(pixels, format.width, format.height);
        if (pixels == AV_PIX_FMT_BGRA) return;
        scratch = allocateFrame(AV_PIX_FMT_BGRA, format.width, format.height);
        converter = sws_getContext(format.width, format.height, AV_PIX_FMT_BGRA, format.width,
                                   format.height, pixels, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!converter) fail(LockVideoError::kNoFramePool, "cannot convert BGRA for the encoder");
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(converter, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }

    // Writes every packet the encoder has ready.
    void writePackets() {
        for (;;) {
            int error = avcodec_receive_packet(encoder, packet);
            if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) return;
            if (error < 0) fail(LockVideoError::kNotCompleted, "encoding failed", error);
            packet->stream_index = stream->index;
            packet->duration = 1;  // one frame, in the encoder's time base
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            if (error = av_interleaved_write_frame(muxer, packet); error < 0)
                fail(LockVideoError::kNotCompleted, "cannot write the movie", error);
        }
    }
};

MovieWriter::MovieWriter(const std::filesystem::path& path, const MovieFormat& format)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.format = format;
    if (int error = avformat_alloc_output_context2(&s.muxer, nullptr, "mov", path.c_str());
        error < 0)
        fail(LockVideoError::kNotStarted, "cannot create a QuickTime movie", error);
    s.openEncoder();

    s.stream = avformat_new_stream(s.muxer, nullptr);
    s.packet = av_packet_alloc();
    if (!s.stream || !s.packet)
        fail(LockVideoError::kNotStarted, "cannot add the video track", AVERROR(ENOMEM));
    s.stream->time_base = {1, format.fps};
    s.stream->avg_frame_rate = {format.fps, 1};
    if (int error = avcodec_parameters_from_context(s.stream->codecpar, s.encoder); error < 0)
        fail(LockVideoError::kNotStarted, "cannot describe the video track", error);
    s.stream->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');

    if (int error = avio_open(&s.muxer->pb, path.c_str(), AVIO_FLAG_WRITE); error < 0)
        fail(LockVideoError::kNotStarted, "cannot create " + path.string(), error);
    AVDictionary* options = nullptr;
    // The track counts in frames (QuickTime's time scale), as the encoder does.
    av_dict_set_int(&options, "video_track_timescale", format.fps, 0);
    int error = avformat_write_header(s.muxer, &options);
    av_dict_free(&options);
    if (error < 0) fail(LockVideoError::kNotStarted, "cannot start the movie", error);

    s.allocateFrames();
}

MovieWriter::~MovieWriter() = default;

std::string MovieWriter::encoderName() const {
    return state_->encoder->codec->name;
}

MovieWriter::BgraTarget MovieWriter::beginFrame(int slot) {
    AVFrame* frame = state_->slots.at(std::size_t(slot));
    // The encoder may still hold the slot's previous pixels; then it gets fresh ones.
    if (int error = av_frame_make_writable(frame); error < 0)
        fail(LockVideoError::kNoFrame, "cannot get a frame to render into", error);
    AVFrame* target = state_->converter ? state_->scratch : frame;
    return {target->data[0], std::size_t(target->linesize[0])};
}

void MovieWriter::endFrame(int slot) {
    State& s = *state_;
    if (!s.converter) return;
    AVFrame* frame = s.slots.at(std::size_t(slot));
    sws_scale(s.converter, s.scratch->data, s.scratch->linesize, 0, s.format.height, frame->data,
              frame->linesize);
}

void MovieWriter::append(int slot, std::int64_t index) {
    State& s = *state_;
    AVFrame* frame = s.slots.at(std::size_t(slot));
    if (s.upload) {
        // A fresh surface each time: the encoder keeps the ones it still needs.
        av_frame_unref(s.upload);
        if (int error = av_hwframe_get_buffer(s.encoder->hw_frames_ctx, s.upload, 0); error < 0)
            fail(LockVideoError::kNotCompleted, "cannot get a surface for the encoder", error);
        if (int error = av_hwframe_transfer_data(s.upload, frame, 0); error < 0)
            fail(LockVideoError::kNotCompleted, "cannot upload frame " + std::to_string(index),
                 error);
        frame = s.upload;
    }
    frame->pts = index;
    if (int error = avcodec_send_frame(s.encoder, frame); error < 0)
        fail(LockVideoError::kNotCompleted, "the encoder refused frame " + std::to_string(index),
             error);
    s.writePackets();
}

void MovieWriter::finish() {
    State& s = *state_;
    if (int error = avcodec_send_frame(s.encoder, nullptr); error < 0)
        fail(LockVideoError::kNotCompleted, "cannot drain the encoder", error);
    s.writePackets();
    if (int error = av_write_trailer(s.muxer); error < 0)
        fail(LockVideoError::kNotCompleted, "cannot finish the movie", error);
    if (int error = avio_closep(&s.muxer->pb); error < 0)
        fail(LockVideoError::kNotCompleted, "cannot close the movie", error);
}

}  // namespace tavel
