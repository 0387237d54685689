// The audio-decoder seam on FFmpeg: libavformat finds the first audio stream,
// libavcodec decodes it, libswresample turns it into interleaved stereo float at
// the asked rate.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <mutex>
#include <string>
#include <vector>

#include "platform/audio_decoder.h"

namespace qk::platform {
namespace {

// FFmpeg prints to stderr about every odd file, a line per damaged frame, which
// inside a host is noise on someone else's console; the sound board logs what
// failed itself. A level the host set lower already stays as it is.
void keepLibraryQuiet() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (av_log_get_level() > AV_LOG_QUIET) av_log_set_level(AV_LOG_QUIET);
    });
}

class FfmpegDecoder final : public AudioDecoder {
public:
    ~FfmpegDecoder() override {
        swr_free(&swr_);
        avcodec_free_context(&codec_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avformat_close_input(&format_);
    }

    bool openFile(const std::string& path) {
        // Only the named local file is read: the protocol list stops URLs and
        // stream names, and the opener below stops a playlist inside the file
        // from reaching for other files, pipes or devices.
        format_ = avformat_alloc_context();
        if (format_ == nullptr) return false;
        url_ = "file:" + path;
        format_->opaque = this;
        defaultOpen_ = format_->io_open;
        format_->io_open = &openOnlyTheFile;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        const int r = avformat_open_input(&format_, url_.c_str(), nullptr, &options);
        av_dict_free(&options);
        if (r < 0) return false;  // the library has freed the context
        if (avformat_find_stream_info(format_, nullptr) < 0) return false;
        // Only the first audio stream is decoded; the demuxer may skip the rest.
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            AVStream* s = format_->streams[i];
            if (stream_ < 0 && s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                stream_ = static_cast<int>(i);
            else
                s->discard = AVDISCARD_ALL;
        }
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        return packet_ != nullptr && frame_ != nullptr;
    }

    DecodeCode setOutputFormat(int rate) override {
        if (stream_ < 0) return AVERROR_STREAM_NOT_FOUND;
        if (rate <= 0) return AVERROR(EINVAL);
        const AVStream* st = format_->streams[stream_];
        const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
        if (codec == nullptr) return AVERROR_DECODER_NOT_FOUND;
        codec_ = avcodec_alloc_context3(codec);
        if (codec_ == nullptr) return AVERROR(ENOMEM);
        int r = avcodec_parameters_to_context(codec_, st->codecpar);
        if (r < 0) return r;
        // Without the stream's time base the decoders warn about every packet's
        // timestamps; with it they can also trim encoder padding exactly.
        codec_->pkt_timebase = st->time_base;
        if ((r = avcodec_open2(codec_, codec, nullptr)) < 0) return r;
        if (codec_->sample_rate <= 0 || codec_->ch_layout.nb_channels <= 0) return AVERROR_INVALIDDATA;

        AVChannelLayout in{};
        if (codec_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, codec_->ch_layout.nb_channels);
        else if ((r = av_channel_layout_copy(&in, &codec_->ch_layout)) < 0)
            return r;
        AVChannelLayout out = AV_CHANNEL_LAYOUT_STEREO;
        r = swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_FLT, rate, &in, codec_->sample_fmt, codec_->sample_rate, 0,
                                nullptr);
        const int inChannels = in.nb_channels;
        av_channel_layout_uninit(&in);
        if (r < 0) return r;
        if (inChannels == 1) {
            // A mono sound plays at full level on both sides, as players do; the
            // library's default would lower it by 3 dB.
            const double both[2] = {1.0, 1.0};
            if ((r = swr_set_matrix(swr_, both, 1)) < 0) return r;
        }
        if ((r = swr_init(swr_)) < 0) return r;
        rate_ = rate;
        return 0;
    }

    DecodedFormat outputFormat() const override {
        if (rate_ == 0) return {};
        return {static_cast<unsigned>(rate_), 2};
    }

    std::int64_t expectedFrames() const override {
        if (rate_ == 0) return 0;
        const AVStream* st = format_->streams[stream_];
        if (st->duration > 0 && st->time_base.den > 0)
            return av_rescale_q(st->duration, st->time_base, AVRational{1, rate_});
        if (format_->duration > 0) return av_rescale(format_->duration, rate_, AV_TIME_BASE);
        return 0;
    }

    AudioTags tags() const override {
        // Most containers keep their tags on the file, Ogg and Opus on the stream.
        auto tag = [this](const char* key) -> std::string {
            const AVDictionaryEntry* e = av_dict_get(format_->metadata, key, nullptr, 0);
            if ((e == nullptr || *e->value == '\0') && stream_ >= 0)
                e = av_dict_get(format_->streams[stream_]->metadata, key, nullptr, 0);
            return e != nullptr ? e->value : "";
        };
        return {tag("title"), tag("artist")};
    }

    ReadStatus read(DecodedChunk* chunk, DecodeCode* code) override {
        *chunk = {};
        if (swr_ == nullptr) return fail(code, AVERROR(EINVAL));
        for (;;) {
            int r = avcodec_receive_frame(codec_, frame_);
            if (r == 0) {
                const int frames = convert(const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
                av_frame_unref(frame_);
                if (frames < 0) return fail(code, frames);
                *chunk = {out_.data(), static_cast<std::size_t>(frames)};
                return ReadStatus::Chunk;
            }
            if (r == AVERROR_EOF) {
                if (!resamplerDrained_) {
                    // The resampler holds back a few frames for its filter; they end the sound.
                    resamplerDrained_ = true;
                    const int frames = convert(nullptr, 0);
                    if (frames < 0) return fail(code, frames);
                    if (frames > 0) {
                        *chunk = {out_.data(), static_cast<std::size_t>(frames)};
                        return ReadStatus::Chunk;
                    }
                }
                return ReadStatus::EndOfStream;
            }
            if (r == AVERROR_INVALIDDATA) continue;  // a damaged frame is skipped, as players do
            if (r != AVERROR(EAGAIN)) return fail(code, r);

            // The decoder wants more input.
            r = av_read_frame(format_, packet_);
            if (r == AVERROR_EOF) {
                if ((r = avcodec_send_packet(codec_, nullptr)) < 0 && r != AVERROR_EOF) return fail(code, r);
                continue;
            }
            if (r < 0) return fail(code, r);
            if (packet_->stream_index != stream_) {
                av_packet_unref(packet_);
                continue;
            }
            r = avcodec_send_packet(codec_, packet_);
            av_packet_unref(packet_);
            if (r < 0 && r != AVERROR_INVALIDDATA) return fail(code, r);
        }
    }

private:
    static int openOnlyTheFile(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                               AVDictionary** options) {
        auto* self = static_cast<FfmpegDecoder*>(s->opaque);
        if (self == nullptr || self->defaultOpen_ == nullptr || self->url_ != url) return AVERROR(EPERM);
        return self->defaultOpen_(s, pb, url, flags, options);
    }

    static ReadStatus fail(DecodeCode* code, int r) {
        *code = r;
        return ReadStatus::Failed;
    }

    // Resamples `frames` input frames (or drains with none) into out_; the frames made.
    int convert(const uint8_t** input, int frames) {
        const int room = swr_get_out_samples(swr_, frames);
        if (room < 0) return room;
        const size_t need = static_cast<size_t>(room) * 2;
        if (out_.size() < need) out_.resize(need);
        auto* into = reinterpret_cast<uint8_t*>(out_.data());
        return swr_convert(swr_, &into, room, input, frames);
    }

    using Opener = int (*)(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**);
    std::string url_;
    Opener defaultOpen_ = nullptr;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int stream_ = -1;
    int rate_ = 0;
    bool resamplerDrained_ = false;
    std::vector<float> out_;
};

}  // namespace

std::unique_ptr<AudioDecoder> AudioDecoder::open(const std::string& path) {
    keepLibraryQuiet();
    auto decoder = std::make_unique<FfmpegDecoder>();
    if (!decoder->openFile(path)) return nullptr;
    return decoder;
}

std::string describeDecodeCode(DecodeCode code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0) return "unknown error";
    return text;
}

// FFmpeg needs nothing per thread.
DecodingThread::DecodingThread() : started_(true) {}
DecodingThread::~DecodingThread() = default;

}  // namespace qk::platform
