// PNG frames read with WIC, as 32-bit BGRA.
#include <wincodec.h>

#include "platform/win32/wide_path.h"
#include "tests/support/frame_picture.h"

namespace qktest {

FramePicture::FramePicture(const std::string& path) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IWICImagingFactory* wic = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    UINT w = 0, h = 0;
    const std::wstring wide = qk::platform::win32::widen(path);
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic))) &&
        SUCCEEDED(wic->CreateDecoderFromFilename(wide.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                 &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(wic->CreateFormatConverter(&converter)) &&
        SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                        WICBitmapPaletteTypeCustom)) &&
        SUCCEEDED(converter->GetSize(&w, &h)) && w > 0 && h > 0) {
        bgra_.resize(static_cast<std::size_t>(w) * h * 4);
        if (SUCCEEDED(converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(bgra_.size()), bgra_.data()))) {
            width_ = static_cast<int>(w);
            height_ = static_cast<int>(h);
        } else {
            bgra_.clear();
        }
    }
    for (IUnknown* o : {static_cast<IUnknown*>(converter), static_cast<IUnknown*>(frame),
                        static_cast<IUnknown*>(decoder), static_cast<IUnknown*>(wic)})
        if (o != nullptr) o->Release();
    if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace qktest
