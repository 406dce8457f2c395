#include "support/movie_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

namespace tavel::test {
namespace {

struct Closers {
    void operator()(AVFormatContext* c) { avformat_close_input(&c); }
    void operator()(AVCodecContext* c) { avcodec_free_context(&c); }
    void operator()(AVPacket* p) { av_packet_free(&p); }
    void operator()(AVFrame* f) { av_frame_free(&f); }
};
template <typename T>
using Owned = std::unique_ptr<T, Closers>;

// Sends `packet` (nullptr: the end) and takes every frame the decoder has ready.
bool decode(AVCodecContext* decoder, const AVPacket* packet, AVFrame* frame, DecodedMovie& movie) {
    int result = avcodec_send_packet(decoder, packet);
    while (result >= 0 && (result = avcodec_receive_frame(decoder, frame)) >= 0) {
        auto& plane = movie.luma.emplace_back(std::size_t(frame->width) * frame->height);
        for (int y = 0; y < frame->height; ++y)
            std::copy_n(frame->data[0] + std::ptrdiff_t(y) * frame->linesize[0], frame->width,
                        plane.begin() + std::ptrdiff_t(y) * frame->width);
    }
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    movie.error = "decoding failed: error " + std::to_string(result);
    return false;
}

}  // namespace

DecodedMovie readMovie(const std::filesystem::path& path) {
    DecodedMovie movie;
    AVFormatContext* raw = nullptr;
    const bool opened = avformat_open_input(&raw, path.c_str(), nullptr, nullptr) >= 0;
    Owned<AVFormatContext> format(raw);  // none when it did not open
    if (!opened || avformat_find_stream_info(raw, nullptr) < 0) {
        movie.error = "cannot read " + path.string();
        return movie;
    }
    movie.seconds = raw->duration == AV_NOPTS_VALUE ? 0 : double(raw->duration) / AV_TIME_BASE;
    int index = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) return movie;

    const AVCodecParameters* parameters = raw->streams[index]->codecpar;
    movie.codec = avcodec_get_name(parameters->codec_id);
    for (int shift = 0; shift < 32; shift += 8)
        movie.tag += char((parameters->codec_tag >> shift) & 0xff);

    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    Owned<AVCodecContext> decoder(avcodec_alloc_context3(codec));
    if (!codec || avcodec_parameters_to_context(decoder.get(), parameters) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        movie.error = "no decoder for " + movie.codec;
        return movie;
    }
    Owned<AVPacket> packet(av_packet_alloc());
    Owned<AVFrame> frame(av_frame_alloc());
    while (av_read_frame(raw, packet.get()) >= 0) {
        bool ok = packet->stream_index != index ||
                  decode(decoder.get(), packet.get(), frame.get(), movie);
        av_packet_unref(packet.get());
        if (!ok) return movie;
    }
    decode(decoder.get(), nullptr, frame.get(), movie);
    return movie;
}

std::vector<std::uint8_t> lumaOfBgra(const std::vector<std::uint8_t>& bgra, int width, int height) {
    std::vector<std::uint8_t> luma(std::size_t(width) * height);
    for (std::size_t i = 0; i < luma.size(); ++i) {
        const std::uint8_t* p = &bgra[i * 4];
        double y = 0.0722 * p[0] + 0.7152 * p[1] + 0.2126 * p[2];
        luma[i] = std::uint8_t(std::lround(16 + y * 219.0 / 255.0));
    }
    return luma;
}

double meanAbsoluteDifference(const std::vector<std::uint8_t>& a,
                              const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return HUGE_VAL;  // not the same picture at all
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
    return sum / double(a.size());
}

}  // namespace tavel::test
