// Picture files written by the Windows Imaging Component's encoders, in memory.
#include <wincodec.h>

#include <stdexcept>

#include "tests/overlay/picture_fixtures.h"

namespace qktest {

std::string pictureFileFromPixels(std::string_view format, int width, int height, std::string pixels) {
    if (pixels.size() != static_cast<std::size_t>(width) * height * 4) throw std::invalid_argument("pixel count");
    GUID container{};
    if (format == "png")
        container = GUID_ContainerFormatPng;
    else if (format == "bmp")
        container = GUID_ContainerFormatBmp;
    else if (format == "jpeg")
        container = GUID_ContainerFormatJpeg;
    else
        throw std::invalid_argument("no WIC encoder for " + std::string(format));
    // Straight RGBA to straight BGRA, the order WIC's encoders take.
    for (std::size_t i = 0; i < pixels.size(); i += 4) std::swap(pixels[i], pixels[i + 2]);

    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IWICImagingFactory* wic = nullptr;
    IStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    WICPixelFormatGUID pixelFormat = GUID_WICPixelFormat32bppBGRA;
    const UINT stride = static_cast<UINT>(width) * 4;
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic))) &&
              SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) &&
              SUCCEEDED(wic->CreateEncoder(container, nullptr, &encoder)) &&
              SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
              SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
              SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
              SUCCEEDED(frame->SetPixelFormat(&pixelFormat));
    // An encoder that cannot keep alpha (JPEG, BMP) answers its own format: the
    // pixels are converted to it first.
    IWICBitmap* bitmap = nullptr;
    IWICFormatConverter* converter = nullptr;
    if (ok && pixelFormat == GUID_WICPixelFormat32bppBGRA) {
        ok = SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), stride, static_cast<UINT>(pixels.size()),
                                          reinterpret_cast<BYTE*>(pixels.data())));
    } else if (ok) {
        ok = SUCCEEDED(wic->CreateBitmapFromMemory(
                 static_cast<UINT>(width), static_cast<UINT>(height), GUID_WICPixelFormat32bppBGRA, stride,
                 static_cast<UINT>(pixels.size()), reinterpret_cast<BYTE*>(pixels.data()), &bitmap)) &&
             SUCCEEDED(wic->CreateFormatConverter(&converter)) &&
             SUCCEEDED(converter->Initialize(bitmap, pixelFormat, WICBitmapDitherTypeNone, nullptr, 0,
                                             WICBitmapPaletteTypeCustom)) &&
             SUCCEEDED(frame->WriteSource(converter, nullptr));
    }
    ok = ok && SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    std::string file;
    HGLOBAL memory = nullptr;
    if (ok && SUCCEEDED(GetHGlobalFromStream(stream, &memory))) {
        STATSTG stat{};
        stream->Stat(&stat, STATFLAG_NONAME);
        const void* bytes = GlobalLock(memory);
        file.assign(static_cast<const char*>(bytes), static_cast<std::size_t>(stat.cbSize.QuadPart));
        GlobalUnlock(memory);
    }
    for (IUnknown* o :
         {static_cast<IUnknown*>(converter), static_cast<IUnknown*>(bitmap), static_cast<IUnknown*>(frame),
          static_cast<IUnknown*>(encoder), static_cast<IUnknown*>(stream), static_cast<IUnknown*>(wic)})
        if (o != nullptr) o->Release();
    if (SUCCEEDED(com)) CoUninitialize();
    if (file.empty()) throw std::runtime_error("saving a " + std::string(format) + " picture failed");
    return file;
}

}  // namespace qktest
