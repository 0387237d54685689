// The picture decoder on the real Windows Imaging Component: PNG, BMP and GIF
// files written here byte by byte, a JPEG the build made with ffmpeg, decoded to
// premultiplied BGRA; cut, foreign and oversized pictures refused.
#include <objbase.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "platform/image_decoder.h"
#include "tests/support/crc32.h"

namespace {

using qk::platform::DecodeResult;
using qk::platform::DecodeStatus;
using qk::platform::ImageDecoder;

using Bytes = std::string;
using qktest::crc32;
constexpr std::int64_t kLimit = 67108864;  // the overlay's picture limit, 8192 x 8192

void put32be(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
}
void putLe(Bytes& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}


void pngChunk(Bytes& png, std::string_view type, const Bytes& data) {
    put32be(png, static_cast<std::uint32_t>(data.size()));
    const Bytes body = Bytes(type) + data;
    png += body;
    put32be(png, crc32(body));
}

// An RGBA PNG (straight alpha, 8 bits) whose pixel data is stored uncompressed.
Bytes pngFile(std::uint32_t width, std::uint32_t height, const std::vector<std::array<std::uint8_t, 4>>& rgba) {
    Bytes raw;
    for (std::uint32_t y = 0; y < height; ++y) {
        raw.push_back('\0');  // no filter
        for (std::uint32_t x = 0; x < width; ++x)
            for (const std::uint8_t c : rgba[y * width + x]) raw.push_back(static_cast<char>(c));
    }
    Bytes zlib("\x78\x01", 2);
    for (std::size_t at = 0; at < raw.size(); at += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        zlib.push_back(at + n == raw.size() ? '\1' : '\0');
        putLe(zlib, static_cast<std::uint32_t>(n), 2);
        putLe(zlib, static_cast<std::uint32_t>(~n), 2);
        zlib += raw.substr(at, n);
    }
    std::uint32_t a = 1, b = 0;
    for (const char c : raw) {
        a = (a + static_cast<unsigned char>(c)) % 65521;
        b = (b + a) % 65521;
    }
    put32be(zlib, (b << 16) | a);

    Bytes png("\x89PNG\r\n\x1a\n", 8), header;
    put32be(header, width);
    put32be(header, height);
    header += Bytes("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter, no interlace
    pngChunk(png, "IHDR", header);
    pngChunk(png, "IDAT", zlib);
    pngChunk(png, "IEND", {});
    return png;
}

// The 54 bytes that begin a 24-bit BMP of width x height.
Bytes bmpHeader(std::uint32_t width, std::uint32_t height) {
    const std::uint32_t stride = (width * 3 + 3) & ~3u;
    Bytes bmp = "BM";
    putLe(bmp, 54 + stride * height, 4);
    putLe(bmp, 0, 4);
    putLe(bmp, 54, 4);
    for (const std::uint32_t v : {40u, width, height}) putLe(bmp, v, 4);
    putLe(bmp, 1, 2);   // planes
    putLe(bmp, 24, 2);  // bits a pixel
    for (int i = 0; i < 6; ++i) putLe(bmp, 0, 4);
    return bmp;
}

// A 24-bit BMP, stored bottom row first as the format has it.
Bytes bmpFile(int width, int height, const std::vector<std::array<std::uint8_t, 3>>& rgb) {
    const int stride = (width * 3 + 3) & ~3;
    Bytes bmp = bmpHeader(width, height);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const auto& p = rgb[y * width + x];
            bmp += {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
        }
        bmp.append(stride - width * 3, '\0');
    }
    return bmp;
}

// A 1 x 1 GIF of two frames: the first in `first`, the second in `second`.
Bytes twoFrameGif(std::array<std::uint8_t, 3> first, std::array<std::uint8_t, 3> second) {
    Bytes gif = "GIF89a";
    putLe(gif, 1, 2);
    putLe(gif, 1, 2);
    gif += Bytes("\x80\0\0", 3);  // a global palette of two colours
    for (const auto c : first) gif.push_back(static_cast<char>(c));
    for (const auto c : second) gif.push_back(static_cast<char>(c));
    for (const char index : {'\0', '\1'}) {
        gif += Bytes("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8);      // a tenth of a second each
        gif += Bytes("\x2C\0\0\0\0\x01\0\x01\0\0", 10);           // the whole 1 x 1 canvas
        gif += Bytes("\x02\x02", 2);                               // LZW, 2-bit codes; one block of 2 bytes
        gif += index == '\0' ? Bytes("\x44\x01", 2) : Bytes("\x4C\x01", 2);  // clear, the index, end
        gif.push_back('\0');
    }
    gif.push_back(';');
    return gif;
}

Bytes readFixture(const std::string& name) {
    std::ifstream in(std::string(QK_PICTURE_FIXTURES) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

DecodeResult decode(ImageDecoder& decoder, const Bytes& bytes, std::int64_t maxPixels = kLimit) {
    return decoder.decodeFirstFrame(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                                    maxPixels);
}

std::array<int, 4> bgraAt(const qk::platform::BgraImage& image, int x, int y) {
    const std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

class WicDecoder : public ::testing::Test {
protected:
    std::unique_ptr<ImageDecoder> decoder_ = ImageDecoder::create();
};

TEST_F(WicDecoder, FormatsDecodeToPremultipliedBgraRowsTopDown) {
    ASSERT_TRUE(decoder_);
    struct Case {
        const char* name;
        Bytes file;
        int width, height;
        // (x, y) and the B, G, R, A expected there.
        std::vector<std::pair<std::pair<int, int>, std::array<int, 4>>> pixels;
        int tolerance;
    };
    const Case cases[] = {
        {"png with straight alpha",
         pngFile(3, 2, {{255, 0, 0, 255}, {0, 255, 0, 128}, {0, 0, 0, 0}, {0, 0, 255, 64}, {255, 255, 255, 255},
                        {200, 100, 50, 255}}),
         3,
         2,
         {{{0, 0}, {0, 0, 255, 255}},
          {{1, 0}, {0, 128, 0, 128}},
          {{2, 0}, {0, 0, 0, 0}},
          {{0, 1}, {64, 0, 0, 64}},
          {{2, 1}, {50, 100, 200, 255}}},
         1},
        {"bmp stored bottom up",
         bmpFile(2, 2, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}}),
         2,
         2,
         {{{0, 0}, {0, 0, 255, 255}}, {{1, 0}, {0, 255, 0, 255}}, {{0, 1}, {255, 0, 0, 255}}, {{1, 1}, {30, 20, 10, 255}}},
         0},
        {"gif, first frame only", twoFrameGif({250, 10, 20}, {0, 0, 250}), 1, 1, {{{0, 0}, {20, 10, 250, 255}}}, 0},
        {"jpeg", readFixture("red-16x8.jpg"), 16, 8, {{{0, 0}, {0, 0, 254, 255}}, {{15, 7}, {0, 0, 254, 255}}}, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.file.empty());
        const DecodeResult r = decode(*decoder_, c.file);
        ASSERT_EQ(r.status, DecodeStatus::Decoded);
        ASSERT_TRUE(r.image.valid());
        EXPECT_EQ(r.image.width, c.width);
        EXPECT_EQ(r.image.height, c.height);
        for (const auto& [where, want] : c.pixels) {
            const auto got = bgraAt(r.image, where.first, where.second);
            for (int i = 0; i < 4; ++i)
                EXPECT_NEAR(got[i], want[i], c.tolerance) << "pixel " << where.first << "," << where.second << " byte " << i;
        }
    }
}

TEST_F(WicDecoder, RefusesWhatIsNoWholePictureAndWhatIsTooLarge) {
    ASSERT_TRUE(decoder_);
    const Bytes small = pngFile(3, 2, std::vector<std::array<std::uint8_t, 4>>(6, {1, 2, 3, 255}));
    Bytes tiff("II*\0", 4);
    putLe(tiff, 8, 4);
    tiff += Bytes(64, '\0');
    struct Case {
        const char* name;
        Bytes file;
        std::int64_t maxPixels;
        DecodeStatus want;
    };
    const Case cases[] = {
        {"empty", {}, kLimit, DecodeStatus::Unreadable},
        {"not a picture", "data:image/png;base64,", kLimit, DecodeStatus::Unreadable},
        {"cut in its pixels", small.substr(0, small.size() - 30), kLimit, DecodeStatus::Unreadable},
        {"a format the page does not send", tiff, kLimit, DecodeStatus::Unreadable},
        {"one pixel over the caller's limit", small, 5, DecodeStatus::TooLarge},
        {"exactly at the caller's limit", small, 6, DecodeStatus::Decoded},
        // A header alone: the size is refused before any pixel is read (Wine's
        // PNG decoder reads every pixel up front, its BMP decoder does not).
        {"8193 x 8192, refused from its header", bmpHeader(8193, 8192), kLimit, DecodeStatus::TooLarge},
        // Within the limit, so it gets as far as its missing pixels.
        {"8192 x 8192 without its pixels", bmpHeader(8192, 8192), kLimit, DecodeStatus::Unreadable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodeResult r = decode(*decoder_, c.file, c.maxPixels);
        EXPECT_EQ(r.status, c.want);
        EXPECT_EQ(r.image.valid(), c.want == DecodeStatus::Decoded);
    }
}

// The poller's thread has never touched COM: the decoder joins it to an
// apartment for its life and leaves it as it found it.
TEST(WicDecoderThreads, WorksOnAFreshThreadAndUndoesItsApartment) {
    const Bytes picture = pngFile(1, 1, {{9, 8, 7, 255}});
    bool decoded = false;
    HRESULT afterwards = E_FAIL;
    std::thread poller([&] {
        {
            auto decoder = ImageDecoder::create();
            decoded = decoder && decode(*decoder, picture).status == DecodeStatus::Decoded;
        }
        // S_OK only when the thread is back outside any apartment.
        afterwards = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(afterwards)) CoUninitialize();
    });
    poller.join();
    EXPECT_TRUE(decoded);
    EXPECT_EQ(afterwards, S_OK);

    // A thread already in a single-threaded apartment keeps it and still decodes.
    std::thread ui([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        {
            auto decoder = ImageDecoder::create();
            decoded = decoder && decode(*decoder, picture).status == DecodeStatus::Decoded;
        }
        afterwards = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(afterwards)) CoUninitialize();
        CoUninitialize();
    });
    ui.join();
    EXPECT_TRUE(decoded);
    EXPECT_EQ(afterwards, S_FALSE) << "still the thread's own apartment";
}

}  // namespace
