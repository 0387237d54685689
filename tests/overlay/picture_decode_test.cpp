// Data texts to premultiplied BGRA through the real GdkPixbuf decoder.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "kit/log.h"
#include "overlay/data_url_image.h"
#include "tests/overlay/picture_fixtures.h"
#include "tests/support/temp_dir.h"

namespace {

using qk::overlay::decodeBase64;
using qk::overlay::decodeDataUrlImage;
using qk::overlay::kMaxPicturePixels;
using qk::platform::DecodeStatus;
using qk::platform::ImageDecoder;

std::span<const std::uint8_t> asBytes(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

void expectPixel(const qk::overlay::BgraImage& image, int x, int y, std::array<int, 4> bgra, int tolerance) {
    const std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
    for (int i = 0; i < 4; ++i) EXPECT_LE(std::abs(p[i] - bgra[i]), tolerance) << "channel " << i;
}

class PictureDecode : public ::testing::Test {
protected:
    std::unique_ptr<ImageDecoder> decoder = ImageDecoder::create();
};

TEST_F(PictureDecode, FormatsGivePremultipliedBgra) {
    ASSERT_NE(decoder, nullptr);
    struct Case {
        const char* format;
        std::uint32_t rgba;
        std::array<int, 4> bgra;
        int tolerance;  // lossy formats come back close, not exact
    };
    const Case cases[] = {
        {"png", 0xFF000080, {0, 0, 128, 128}, 1},  // half-transparent red
        {"png", 0x3366CCFF, {0xCC, 0x66, 0x33, 255}, 0},  {"webp", 0xFF000080, {0, 0, 128, 128}, 4},
        {"jpeg", 0x2080E0FF, {0xE0, 0x80, 0x20, 255}, 6},  // no alpha: opaque
        {"bmp", 0x10C040FF, {0x40, 0xC0, 0x10, 255}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const auto image = decodeDataUrlImage(decoder.get(), qktest::pictureDataText(c.format, 5, 3, c.rgba));
        ASSERT_TRUE(image.has_value());
        EXPECT_EQ(image->width, 5);
        EXPECT_EQ(image->height, 3);
        ASSERT_TRUE(image->valid());
        expectPixel(*image, 0, 0, c.bgra, c.tolerance);
        expectPixel(*image, 4, 2, c.bgra, c.tolerance);
    }
}

TEST_F(PictureDecode, GifGivesItsFirstFrame) {
    const auto image =
        decodeDataUrlImage(decoder.get(), "data:image/gif;base64," + qktest::base64(qktest::gifFile(0x20, 0x40, 0x60)));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, 1);
    expectPixel(*image, 0, 0, {0x60, 0x40, 0x20, 255}, 0);
}

TEST_F(PictureDecode, PayloadStartsAfterTheFirstMarker) {
    const std::string png = qktest::pictureFile("png", 2, 2, 0x00FF00FF);
    // A second "base64," inside the payload is not a marker; nor is what precedes the first.
    const auto twice = decodeDataUrlImage(decoder.get(), "xx base64,base64," + qktest::base64(png));
    EXPECT_FALSE(twice.has_value()) << "the second marker is part of the payload, which is then not base64";
    const auto once = decodeDataUrlImage(decoder.get(), "anything;base64," + qktest::base64(png));
    ASSERT_TRUE(once.has_value());
    expectPixel(*once, 1, 1, {0, 255, 0, 255}, 0);
}

TEST_F(PictureDecode, TextsWithoutAPictureFail) {
    const std::string png = qktest::pictureFile("png", 2, 2, 0x00FF00FF);
    const std::string cases[] = {
        "data:image/png;base64,",                                                  // nothing after the marker
        "data:image/png," + qktest::base64(png),                                   // no marker
        "base64,",                                                                 // too short to hold one
        "data:image/png;base64,@@@@" + qktest::base64(png),                        // not base64
        "data:image/png;base64," + qktest::base64(png.substr(0, png.size() / 2)),  // truncated file
        "data:image/png;base64," + qktest::base64("this is not a picture at all"),
        "data:image/svg+xml;base64," + qktest::base64("<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'/>"),
    };
    for (const std::string& text : cases)
        EXPECT_FALSE(decodeDataUrlImage(decoder.get(), text).has_value()) << text.substr(0, 40);
    EXPECT_FALSE(decodeDataUrlImage(nullptr, "data:image/png;base64," + qktest::base64(png)).has_value());
}

TEST_F(PictureDecode, PixelLimitIsCheckedFromTheHeader) {
    // A header alone tells the limit decision apart from decoding: 8192 x 8192 passes
    // the limit (and then fails on the missing pixel data); one column more is refused
    // before any pixel memory is taken.
    EXPECT_EQ(decoder->decodeFirstFrame(asBytes(qktest::pngHeaderOnly(8192, 8192)), kMaxPicturePixels).status,
              DecodeStatus::Unreadable);
    for (const std::string& header :
         {qktest::pngHeaderOnly(8193, 8192), qktest::webpHeaderOnly(8193, 8192), qktest::webpHeaderOnly(8192, 8193)}) {
        EXPECT_EQ(decoder->decodeFirstFrame(asBytes(header), kMaxPicturePixels).status, DecodeStatus::TooLarge);
        EXPECT_FALSE(decodeDataUrlImage(decoder.get(), "base64," + qktest::base64(header)));
    }

    // The bound itself is inclusive, in every format.
    for (const char* format : {"png", "jpeg", "webp", "bmp"}) {
        SCOPED_TRACE(format);
        const std::string file = qktest::pictureFile(format, 3, 2, 0xFFFFFFFF);
        EXPECT_EQ(decoder->decodeFirstFrame(asBytes(file), 6).status, DecodeStatus::Decoded);
        EXPECT_EQ(decoder->decodeFirstFrame(asBytes(file), 5).status, DecodeStatus::TooLarge);
    }
}

TEST_F(PictureDecode, AListStopsTakingPicturesAtItsPixelCap) {
    qktest::TempDir dir;
    const qk::LogFile log = qk::LogFile::companion(dir.file("overlay.log"));
    const std::vector<std::string> texts = {
        qktest::pictureDataText("png", 10, 10, 0xFF0000FF),  // 100 pixels
        qktest::pictureDataText("png", 20, 20, 0x00FF00FF),  // 400: past what is left of 450
        qktest::pictureDataText("png", 5, 5, 0x0000FFFF),    // 25 still fit
        qktest::pictureDataText("png", 19, 19, 0x0000FFFF),  // 361 do not
    };
    const auto images = qk::overlay::decodePictureList(*decoder, texts, 450, log, "slides");
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].width, 10);
    EXPECT_EQ(images[1].width, 5);
    const std::string text = qktest::readFile(dir.file("overlay.log"));
    EXPECT_NE(text.find("slides: picture 2 skipped - the list's pictures would pass 450 pixels"), std::string::npos)
        << text;
    EXPECT_NE(text.find("slides: picture 4 skipped"), std::string::npos) << text;
    EXPECT_EQ(qk::overlay::decodePictureList(*decoder, texts, qk::overlay::kMaxListPixels, log, "slides").size(), 4u);
}

TEST_F(PictureDecode, APictureCutShortIsRefused) {
    // Noise does not compress, so the cut falls inside the pixel data.
    std::string noisy;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 64 * 64 * 4; ++i) noisy += static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    // (JPEG and WebP loaders finish a cut file themselves with a plain filler.)
    for (const char* format : {"png", "bmp"}) {
        SCOPED_TRACE(format);
        const std::string whole = qktest::pictureFileFromPixels(format, 64, 64, noisy);
        const std::string cut = whole.substr(0, whole.size() * 3 / 4);
        EXPECT_EQ(decoder->decodeFirstFrame(asBytes(whole), kMaxPicturePixels).status, DecodeStatus::Decoded);
        EXPECT_NE(decoder->decodeFirstFrame(asBytes(cut), kMaxPicturePixels).status, DecodeStatus::Decoded);
    }
}

// The largest single allocation while `watching` (seen in sanitizer builds only).
std::atomic<bool> watching{false};
std::atomic<std::size_t> largestAllocation{0};
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
}  // namespace
// The sanitizer runtimes' allocation hooks (their header is not always installed).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                         void (*)(const volatile void*));
namespace {
void noteAllocation(const volatile void*, std::size_t size) {
    if (!watching.load()) return;
    std::size_t seen = largestAllocation.load();
    while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
    }
}
void noteFree(const volatile void*) {}
#endif

TEST_F(PictureDecode, AShortFileNeverCostsMoreMemoryThanItsPixels) {
    // A BMP whose header claims an info block of 2 GiB, and one whose pixels would
    // start at 512 MiB, in 112 bytes (found by the fuzzer).
    std::string file = qktest::pictureFile("bmp", 3, 2, 0xFF000080);
    file.resize(112, '\0');
    std::string longInfo = file, farPixels = file;
    longInfo.replace(14, 4, "\x28\x00\x00\x80", 4);
    farPixels.replace(10, 4, "\x36\x00\x00\x20", 4);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    static const bool hooked = __sanitizer_install_malloc_and_free_hooks(noteAllocation, noteFree) != 0;
    ASSERT_TRUE(hooked);
#endif
    for (const std::string& bytes : {longInfo, farPixels}) {
        largestAllocation = 0;
        watching = true;
        const auto status = decoder->decodeFirstFrame(asBytes(bytes), kMaxPicturePixels).status;
        watching = false;
        EXPECT_EQ(status, DecodeStatus::Unreadable);
        EXPECT_LT(largestAllocation.load(), 1u << 20);
    }
}

TEST(Base64, DecodesWhatAPlainDecoderAccepts) {
    struct Case {
        const char* text;
        std::optional<std::string> bytes;
    };
    const Case cases[] = {
        {"TWFu", "Man"},
        {"TWE=", "Ma"},
        {"TQ==", "M"},
        {"TWE", "Ma"},          // padding left out
        {"TW\r\nFu\t", "Man"},  // line breaks and blanks are skipped
        {"+/+/", std::string("\xfb\xff\xbf", 3)},
        {"", ""},
        {"T", std::nullopt},         // a dangling sixth of a byte
        {"TW-u", std::nullopt},      // URL-safe letters are not standard base64
        {"TQ==TQ==", std::nullopt},  // data after padding
        {"TQ===", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(decodeBase64(c.text), c.bytes) << c.text;
}

}  // namespace
