// The audio-decoder seam on Media Foundation's source reader: the first audio
// stream, delivered as interleaved stereo 32-bit float at the asked rate.
//
// Media Foundation's DLLs are loaded when a decoding thread starts, not linked:
// Windows editions without the media features lack them, and the plug-in must
// still load there (every decode then fails to open, as after a failed start-up).
#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/audio_decoder.h"
#include "platform/win32/wide_path.h"

namespace qk::platform {
namespace {

struct MediaFoundation {
    HRESULT(WINAPI* startup)(ULONG, DWORD) = nullptr;
    HRESULT(WINAPI* shutdown)() = nullptr;
    HRESULT(WINAPI* createMediaType)(IMFMediaType**) = nullptr;
    HRESULT(WINAPI* createReader)(LPCWSTR, IMFAttributes*, IMFSourceReader**) = nullptr;
    bool loaded() const { return startup && shutdown && createMediaType && createReader; }
};

template <class Fn>
void find(HMODULE module, const char* name, Fn* fn) {
    if (module != nullptr) *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Loaded once per process from the system folder only, and kept: decoders made
// on any thread use them.
const MediaFoundation& mediaFoundation() {
    static const MediaFoundation mf = [] {
        MediaFoundation m;
        const HMODULE plat = ::LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        const HMODULE readwrite = ::LoadLibraryExW(L"mfreadwrite.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        find(plat, "MFStartup", &m.startup);
        find(plat, "MFShutdown", &m.shutdown);
        find(plat, "MFCreateMediaType", &m.createMediaType);
        find(readwrite, "MFCreateSourceReaderFromURL", &m.createReader);
        return m;
    }();
    return mf;
}

template <class T>
void release(T*& p) {
    if (p != nullptr) p->Release();
    p = nullptr;
}

constexpr DWORD kFirstAudio = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);

class MfDecoder final : public AudioDecoder {
public:
    explicit MfDecoder(IMFSourceReader* reader) : reader_(reader) {}
    ~MfDecoder() override { release(reader_); }

    DecodeCode setOutputFormat(int rate) override {
        IMFMediaType* type = nullptr;
        HRESULT hr = mediaFoundation().createMediaType(&type);
        if (FAILED(hr)) return hr;
        const UINT32 r = rate > 0 ? static_cast<UINT32>(rate) : 0;
        type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
        type->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_Float);
        type->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, r);
        type->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 2);
        type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 32);
        type->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, 8);
        type->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, r * 8);
        hr = reader_->SetCurrentMediaType(kFirstAudio, nullptr, type);
        release(type);
        if (FAILED(hr)) return hr;
        rate_ = r;
        return 0;
    }

    DecodedFormat outputFormat() const override {
        DecodedFormat f;
        IMFMediaType* type = nullptr;
        if (FAILED(reader_->GetCurrentMediaType(kFirstAudio, &type))) return f;
        UINT32 v = 0;
        if (SUCCEEDED(type->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &v))) f.rate = v;
        v = 0;
        if (SUCCEEDED(type->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &v))) f.channels = v;
        type->Release();
        return f;
    }

    std::int64_t expectedFrames() const override {
        PROPVARIANT duration;
        PropVariantInit(&duration);
        std::int64_t frames = 0;
        if (SUCCEEDED(reader_->GetPresentationAttribute(static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE),
                                                        MF_PD_DURATION, &duration)) &&
            duration.vt == VT_UI8)
            frames = static_cast<std::int64_t>(duration.uhVal.QuadPart / 10000 * rate_ / 1000);  // 100 ns units
        PropVariantClear(&duration);
        return frames;
    }

    ReadStatus read(DecodedChunk* chunk, DecodeCode* code) override {
        *chunk = {};
        DWORD flags = 0;
        IMFSample* sample = nullptr;
        const HRESULT hr = reader_->ReadSample(kFirstAudio, 0, nullptr, &flags, nullptr, &sample);
        if (FAILED(hr)) {
            if (code) *code = hr;
            return ReadStatus::Failed;
        }
        if ((flags & MF_SOURCE_READERF_ENDOFSTREAM) != 0) {
            release(sample);
            return ReadStatus::EndOfStream;
        }
        if (sample == nullptr) return ReadStatus::Chunk;  // a gap
        IMFMediaBuffer* buffer = nullptr;
        BYTE* bytes = nullptr;
        DWORD length = 0;
        // A buffer that cannot be joined or locked is skipped.
        if (SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer)) &&
            SUCCEEDED(buffer->Lock(&bytes, nullptr, &length))) {
            const std::size_t frames = length / 8;  // a remainder is dropped
            samples_.resize(frames * 2);
            if (frames > 0) std::memcpy(samples_.data(), bytes, frames * 8);
            buffer->Unlock();
            chunk->samples = samples_.data();
            chunk->frames = frames;
        }
        release(buffer);
        release(sample);
        return ReadStatus::Chunk;
    }

private:
    IMFSourceReader* reader_;
    UINT32 rate_ = 0;
    std::vector<float> samples_;
};

}  // namespace

std::unique_ptr<AudioDecoder> AudioDecoder::open(const std::string& path) {
    const MediaFoundation& mf = mediaFoundation();
    if (!mf.loaded()) return nullptr;
    IMFSourceReader* reader = nullptr;
    if (FAILED(mf.createReader(win32::widen(path).c_str(), nullptr, &reader)) || reader == nullptr) return nullptr;
    reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
    reader->SetStreamSelection(kFirstAudio, TRUE);
    return std::make_unique<MfDecoder>(reader);
}

DecodingThread::DecodingThread() {
    comStarted_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    const MediaFoundation& mf = mediaFoundation();
    started_ = mf.loaded() && SUCCEEDED(mf.startup(MF_VERSION, MFSTARTUP_LITE));
}

DecodingThread::~DecodingThread() {
    if (started_) mediaFoundation().shutdown();
    if (comStarted_) ::CoUninitialize();
}

std::string describeDecodeCode(DecodeCode code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string out;
    if (n > 0 && text != nullptr) out = win32::narrow(std::wstring_view(text, n));
    if (text != nullptr) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    if (out.empty()) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "HRESULT 0x%08lX", static_cast<unsigned long>(static_cast<std::uint32_t>(code)));
        out = hex;
    }
    return out;
}

}  // namespace qk::platform
