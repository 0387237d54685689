// Image decoder backend: the Windows Imaging Component. The decoder is made,
// used and dropped on one thread (the overlay's poller), which it joins to the
// multithreaded COM apartment for its life.
#include <objbase.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <limits>
#include <utility>

#include "platform/image_decoder.h"

namespace qk::platform {
namespace {

using Microsoft::WRL::ComPtr;

// The picture formats the page may send; the codecs installed on a machine may
// know more (TIFF, icons, camera formats), which are refused as elsewhere.
bool acceptedContainer(const GUID& format) {
    return IsEqualGUID(format, GUID_ContainerFormatPng) || IsEqualGUID(format, GUID_ContainerFormatJpeg) ||
           IsEqualGUID(format, GUID_ContainerFormatGif) || IsEqualGUID(format, GUID_ContainerFormatBmp) ||
           IsEqualGUID(format, GUID_ContainerFormatWebp);
}

class WicDecoder final : public ImageDecoder {
public:
    WicDecoder(IWICImagingFactory* factory, bool ownsApartment) : factory_(factory), ownsApartment_(ownsApartment) {}
    WicDecoder(const WicDecoder&) = delete;
    WicDecoder& operator=(const WicDecoder&) = delete;
    ~WicDecoder() override {
        factory_->Release();
        if (ownsApartment_) CoUninitialize();
    }

    DecodeResult decodeFirstFrame(std::span<const std::uint8_t> bytes, std::int64_t maxPixels) override {
        DecodeResult result;
        if (bytes.empty() || bytes.size() > std::numeric_limits<DWORD>::max()) return result;

        // A stream over the caller's bytes, without a copy.
        ComPtr<IWICStream> stream;
        if (FAILED(factory_->CreateStream(stream.GetAddressOf())) ||
            FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()))))
            return result;
        ComPtr<IWICBitmapDecoder> decoder;
        if (FAILED(factory_->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                     decoder.GetAddressOf())))
            return result;
        GUID container{};
        if (FAILED(decoder->GetContainerFormat(&container)) || !acceptedContainer(container)) return result;
        ComPtr<IWICBitmapFrameDecode> frame;
        if (FAILED(decoder->GetFrame(0, frame.GetAddressOf()))) return result;

        // The size comes from the header; no pixel has been decoded yet.
        UINT width = 0, height = 0;
        if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0) return result;
        const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
        if (maxPixels < 0 || pixels > static_cast<std::uint64_t>(maxPixels) ||
            width > static_cast<UINT>(std::numeric_limits<std::int32_t>::max()) ||
            height > static_cast<UINT>(std::numeric_limits<std::int32_t>::max()) ||
            pixels * 4 > std::numeric_limits<UINT>::max()) {
            result.status = DecodeStatus::TooLarge;
            return result;
        }

        ComPtr<IWICFormatConverter> converter;
        if (FAILED(factory_->CreateFormatConverter(converter.GetAddressOf())) ||
            FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                         0.0, WICBitmapPaletteTypeCustom)))
            return result;
        // The converter keeps the frame's size; anything else is not this picture.
        UINT convertedWidth = 0, convertedHeight = 0;
        if (FAILED(converter->GetSize(&convertedWidth, &convertedHeight)) || convertedWidth != width ||
            convertedHeight != height)
            return result;

        BgraImage image;
        image.pixels.resize(static_cast<std::size_t>(pixels) * 4);
        // A cut or corrupt file fails here, when its pixels are decoded.
        if (FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(image.pixels.size()),
                                         image.pixels.data())))
            return result;
        image.width = static_cast<std::int32_t>(width);
        image.height = static_cast<std::int32_t>(height);
        result.image = std::move(image);
        result.status = DecodeStatus::Decoded;
        return result;
    }

private:
    IWICImagingFactory* factory_;
    bool ownsApartment_;
};

}  // namespace

std::unique_ptr<ImageDecoder> ImageDecoder::create() {
    // A thread already in a single-threaded apartment keeps it (RPC_E_CHANGED_MODE);
    // the decoder works there too, and only an initialisation of ours is undone.
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const bool ownsApartment = SUCCEEDED(apartment);
    IWICImagingFactory* factory = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(&factory));
    // Windows 7 without its platform update knows only the first factory.
    if (FAILED(hr))
        hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void**>(&factory));
    if (FAILED(hr) || factory == nullptr) {
        if (ownsApartment) CoUninitialize();
        return nullptr;
    }
    return std::make_unique<WicDecoder>(factory, ownsApartment);
}

}  // namespace qk::platform
