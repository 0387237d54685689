// The host's plug-in interface, declared once for the three deliverables.
//
// The member layout follows the host's published plug-in interface so that a
// Windows build loads in the real host unchanged: every plug-in object is
// [table pointer, module handle, host services pointer], the type interfaces
// append their host members, and the plug-in's own members follow.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define VDJ_API __stdcall
#define VDJ_EXPORT extern "C" __declspec(dllexport)
#else
#define VDJ_API
#define VDJ_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace vdj {

using Result = std::int32_t;
inline constexpr Result kOk = 0;
inline constexpr Result kNotImplemented = static_cast<Result>(0x80004001u);      // E_NOTIMPL
inline constexpr Result kClassNotAvailable = static_cast<Result>(0x80040111u);  // CLASS_E_CLASSNOTAVAILABLE

// 16 bytes in the standard GUID layout.
struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16);

bool sameGuid(const Guid& a, const Guid& b);

inline constexpr Guid kPluginClass{0xED8A8D87, 0xF4F9, 0x4DCD, {0xBD, 0x24, 0x29, 0x14, 0x12, 0xE9, 0x3B, 0x60}};
inline constexpr Guid kBasePluginInterface{0xA1D90EA1, 0x4D0D, 0x42DD, {0xA4, 0xD0, 0xB8, 0xF3, 0x37, 0xB3, 0x21, 0xF1}};
inline constexpr Guid kDspInterface{0x7CFCF3F5, 0x6FB9, 0x434C, {0xB6, 0x03, 0xD7, 0x3A, 0x88, 0xF6, 0x72, 0x26}};
inline constexpr Guid kVideoFxInterface{0xBF1876AA, 0x3CBD, 0x404A, {0xBE, 0xAB, 0x5F, 0x8B, 0x51, 0xE3, 0x90, 0xC0}};
inline constexpr Guid kStartStopInterface{0xA1D91EA1, 0x4E0D, 0x32DD, {0x14, 0xD0, 0xC8, 0xF3, 0x47, 0xB6, 0x41, 0xD1}};

// Filled by the plug-in-info callback. The texts are static.
struct PluginInfo {
    const char* name;
    const char* author;
    const char* description;
    const char* version;
    void* picture;  // always null here
    std::uint32_t flags;
};

// Handed over by OnGetUserInterface.
struct PluginInterface {
    std::int32_t type;
    const char* xml;
    void* imageBuffer;
    std::int32_t imageSize;
    void* window;  // HWND on Windows, GtkWindow* on Linux
};

// What the host offers a plug-in. Texts are NUL-terminated UTF-8.
class HostServices {
public:
    virtual Result VDJ_API SendCommand(const char* script) = 0;
    virtual Result VDJ_API GetInfo(const char* query, double* result) = 0;
    virtual Result VDJ_API GetStringInfo(const char* query, char* buffer, int bufferSize) = 0;
    virtual Result VDJ_API DeclareParameter(void* storage, int kind, int id, const char* name,
                                            const char* shortName, float defaultValue) = 0;
    virtual Result VDJ_API GetSongBuffer(int position, int frames, short** buffer) = 0;  // unused here

protected:
    ~HostServices() = default;  // the host owns it; never deleted through this interface
};

enum class VideoEngine : std::int32_t {
    Any = 0,
    DirectX9 = 1,
    OpenGL = 2,
    DirectX11 = 3,
    OpenGLES2 = 4,
    Metal = 5,
    AnyPtr = 6,
};

struct Vertex {
    struct {
        float x, y, z;
    } position;
    std::uint32_t color;
    float tu, tv;
};

class VideoHostServices {
public:
    virtual Result VDJ_API DrawDeck() = 0;
    virtual Result VDJ_API GetDevice(VideoEngine kind, void** device) = 0;
    virtual Result VDJ_API GetTexture(VideoEngine kind, void** texture, Vertex** vertices) = 0;

protected:
    ~VideoHostServices() = default;
};

// The base of every plug-in. Slot 3 is the destructor slot: it is declared as an
// ordinary virtual function because a C++ virtual destructor takes two table slots
// under the Itanium ABI (g++, clang, MinGW) and one under MSVC, and the host's table
// has exactly one. Each plug-in class is final and deletes itself there.
class Plugin {
public:
    virtual Result VDJ_API OnLoad() { return kOk; }                                    // 0
    virtual Result VDJ_API OnGetPluginInfo(PluginInfo*) { return kNotImplemented; }     // 1
    virtual std::uint32_t VDJ_API Release() {                                            // 2
        Destroy();
        return 0;
    }
    virtual void VDJ_API Destroy() = 0;                                                  // 3
    virtual Result VDJ_API OnParameter(int) { return kOk; }                              // 4
    virtual Result VDJ_API OnGetParameterString(int, char*, int) { return kNotImplemented; }  // 5
    virtual Result VDJ_API OnGetUserInterface(PluginInterface*) { return kNotImplemented; }   // 6

    void* moduleHandle = nullptr;      // written by the host
    HostServices* host = nullptr;      // written by the host

protected:
    Plugin() = default;
    ~Plugin() = default;
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
};

// The sound board's type.
class DspPlugin : public Plugin {
public:
    virtual Result VDJ_API OnStart() { return kOk; }                          // 7
    virtual Result VDJ_API OnStop() { return kOk; }                           // 8
    virtual Result VDJ_API OnProcessSamples(float* buffer, int frames) = 0;   // 9

    std::int32_t SampleRate = 0;  // written by the host
    std::int32_t SongBpm = 0;
    double SongPosBeats = 0;

protected:
    ~DspPlugin() = default;
};

// The overlay's type.
class VideoFxPlugin : public Plugin {
public:
    virtual Result VDJ_API OnStart() { return kOk; }                               // 7
    virtual Result VDJ_API OnStop() { return kOk; }                                // 8
    virtual Result VDJ_API OnDraw() = 0;                                           // 9
    virtual Result VDJ_API OnDeviceInit() { return kOk; }                          // 10
    virtual Result VDJ_API OnDeviceClose() { return kOk; }                         // 11
    virtual Result VDJ_API OnAudioSamples(float*, int) { return kNotImplemented; }  // 12

    std::int32_t SampleRate = 0;  // written by the host
    std::int32_t SongBpm = 0;
    double SongPosBeats = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    VideoHostServices* video = nullptr;

protected:
    ~VideoFxPlugin() = default;
};

// The karaoke plug-in's type.
class StartStopPlugin : public Plugin {
public:
    virtual Result VDJ_API OnStart() { return kOk; }  // 7
    virtual Result VDJ_API OnStop() { return kOk; }   // 8

protected:
    ~StartStopPlugin() = default;
};

// The one export of every deliverable.
using GetClassObjectFn = Result(VDJ_API*)(const Guid& classId, const Guid& interfaceId, void** object);

}  // namespace vdj
