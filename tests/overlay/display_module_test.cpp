// The built QuorvaleOverlay module in qkhost's render thread on Mesa's software
// OpenGL: the ticker and the idle screen show up in the captured frames.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <cairo.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "host/host_session.h"
#include "host/render_engine.h"
#include "tests/overlay/picture_fixtures.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

struct Rgb {
    int r, g, b;
};

class Frame {
public:
    explicit Frame(const std::string& path) : surface_(cairo_image_surface_create_from_png(path.c_str())) {}
    ~Frame() { cairo_surface_destroy(surface_); }
    bool ok() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(surface_); }
    Rgb at(int x, int y) const {
        const unsigned char* p =
            cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_) + x * 4;
        return {p[2], p[1], p[0]};
    }
    // How many pixels in the box are close to the colour.
    int count(int x0, int y0, int x1, int y1, Rgb c, int tolerance = 12) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const Rgb p = at(x, y);
                n += std::abs(p.r - c.r) <= tolerance && std::abs(p.g - c.g) <= tolerance &&
                     std::abs(p.b - c.b) <= tolerance;
            }
        return n;
    }

private:
    cairo_surface_t* surface_;
};

// Draws the overlay inside a host's own OpenGL state: `set` before each OnDraw,
// then what the host finds right after it, `unset` before the host draws again.
class InHostState final : public vdj::VideoFxPlugin {
public:
    std::function<void()> set = [] {}, unset = [] {};
    GLenum hostError = GL_NO_ERROR;  // an error `set` leaves for the host to read
    vdj::VideoFxPlugin* overlay = nullptr;
    // Found after the frames: every frame left the state as the host set it,
    // and the host's unread error was still there.
    bool stateKept = true, errorKept = true;
    std::array<unsigned char, 4> lastPixel{};
    int lastBright = 0;  // white text pixels in the bar
    int barTop = 0, width = 0, height = 0;

    void VDJ_API Destroy() override {}
    vdj::Result VDJ_API OnDraw() override {
        set();
        const auto before = hostState();
        overlay->OnDraw();
        stateKept = stateKept && hostState() == before;
        errorKept = errorKept && glGetError() == hostError;
        unset();
        glReadPixels(width - 10, height - 1 - (barTop + 8), 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, lastPixel.data());
        std::vector<unsigned char> bar(static_cast<std::size_t>(width) * (height - barTop - 8) * 4);
        glReadPixels(0, 4, width, height - barTop - 8, GL_RGBA, GL_UNSIGNED_BYTE, bar.data());
        lastBright = 0;
        for (std::size_t i = 0; i < bar.size(); i += 4)
            lastBright += bar[i] > 200 && bar[i + 1] > 200 && bar[i + 2] > 200;
        return vdj::kOk;
    }
    vdj::Result VDJ_API OnDeviceClose() override { return overlay->OnDeviceClose(); }

private:
    static std::vector<GLint> hostState() {
        std::vector<GLint> s;
        for (GLenum e : {GL_CULL_FACE, GL_DEPTH_TEST, GL_STENCIL_TEST, GL_BLEND}) s.push_back(glIsEnabled(e));
        for (GLenum e : {GL_CULL_FACE_MODE, GL_FRONT_FACE, GL_PIXEL_UNPACK_BUFFER_BINDING, GL_UNPACK_ALIGNMENT,
                         GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS, GL_UNPACK_IMAGE_HEIGHT,
                         GL_UNPACK_SKIP_IMAGES, GL_CURRENT_PROGRAM, GL_VERTEX_ARRAY_BINDING, GL_ARRAY_BUFFER_BINDING,
                         GL_ACTIVE_TEXTURE, GL_TEXTURE_BINDING_2D}) {
            GLint v = 0;
            glGetIntegerv(e, &v);
            s.push_back(v);
        }
        return s;
    }
};

// Loads the module into a session of the given size, writes the document, and
// captures one frame a second after the start; `around` wraps the frames.
std::string renderOnce(const qktest::TempDir& home, const qktest::TempDir& frames, const std::string& audience,
                       int width, int height, const std::vector<std::pair<std::string, std::string>>& files = {},
                       InHostState* around = nullptr) {
    qkhost::HostSession session({home.path(), "", 48000, width, height});
    std::string error;
    qkhost::LoadedPlugin* plugin = session.load(std::string(QK_PLUGIN_DIR) + "/QuorvaleOverlay.so", &error);
    EXPECT_NE(plugin, nullptr) << error;
    if (plugin == nullptr) return "";
    // The data folder exists once the plug-in has loaded.
    for (const auto& [name, bytes] : files) qktest::writeFile(home.path() + "/QuorvaleKaraoke/" + name, bytes);
    qktest::writeFile(home.path() + "/QuorvaleKaraoke/audience.json", audience);
    qkhost::RenderOptions options;
    options.width = width;
    options.height = height;
    options.fps = 30;
    options.framesDir = frames.path();
    options.captureAt = {0.8};
    options.maxFrames = 30;
    qkhost::RenderEngine engine(options);
    plugin->videoFx()->video = engine.services();
    plugin->videoFx()->OnStart();
    vdj::VideoFxPlugin* drawn = plugin->videoFx();
    if (around != nullptr) {
        around->overlay = drawn;
        around->width = width;
        around->height = height;
        drawn = around;
    }
    if (!engine.start({drawn}, &error)) {
        ADD_FAILURE() << error;
        return "";
    }
    engine.wait();
    plugin->videoFx()->OnStop();
    session.releaseAll();
    const auto captured = engine.capturedFrames();
    return captured.empty() ? "" : captured.back();
}

TEST(DisplayModule, TickerBarScrollsOverTheTestCard) {
    qktest::TempDir home, frames;
    const std::string png = renderOnce(home, frames, R"({"renderer":"pipeline","visible":true,"isPlaying":true,
        "current":{"singer":"Alice","title":"Song"},"appearance":{"bar":"#0000ff","accent":"#00ff00"}})",
                                       1280, 720);
    ASSERT_FALSE(png.empty());
    Frame f(png);
    ASSERT_TRUE(f.ok());
    // The bar: 5 % of 720 = 40 pixels along the bottom, blue at 0.87 over the card,
    // with green accent lines on its edges; the card shows above it.
    const int barTop = 720 - 40;
    EXPECT_GT(f.count(0, barTop, 1280, barTop + 1, {0, 255, 0}, 90), 1000) << "accent line";
    const Rgb bar = f.at(1270, barTop + 8);
    EXPECT_GT(bar.b, 200);
    EXPECT_LT(bar.r, 60);
    EXPECT_EQ(f.count(0, barTop - 30, 1280, barTop - 2, {0, 0, 255}, 30), 0) << "nothing drawn above the bar";
    // Text in the bar: bright pixels of the singer's name in white and the label in green.
    EXPECT_GT(f.count(0, barTop + 4, 1280, 720 - 4, {255, 255, 255}, 40), 50);
    const std::string log = qktest::readFile(home.path() + "/QuorvaleKaraoke/overlay.log");
    EXPECT_NE(log.find("first OnDraw 1280x720"), std::string::npos) << log;
    EXPECT_NE(log.find("pipeline ready"), std::string::npos) << log;
    EXPECT_NE(log.find("OnDeviceClose"), std::string::npos) << log;
}

TEST(DisplayModule, IdleScreenWithListAndQrCode) {
    qktest::TempDir home, frames;
    const std::string png = renderOnce(home, frames, R"({"renderer":"pipeline","visible":true,"isPlaying":false,
        "title":"Friday","rotation":[{"singer":"Alice"},{"singer":"Bob","wait":"~4 min"}],
        "qr":{"url":"https://example.org/request","corner":"br"},
        "appearance":{"enabled":true,"color":"#203040","accent":"#ff7a1a"}})",
                                       960, 540);
    ASSERT_FALSE(png.empty());
    Frame f(png);
    ASSERT_TRUE(f.ok());
    // The background colour covers the card.
    EXPECT_GT(f.count(0, 300, 200, 400, {0x20, 0x30, 0x40}, 2), 19000);
    // QR: side 14 % of 540 = 75.6 but at least 45, box 89.2 at 14 px from the lower right corner.
    const int boxLeft = 960 - 14 - 89, boxTop = 540 - 14 - 89;
    EXPECT_GT(f.count(boxLeft + 2, boxTop + 2, boxLeft + 6, boxTop + 6, {255, 255, 255}, 10), 10) << "quiet zone";
    const int dark = f.count(boxLeft + 10, boxTop + 10, boxLeft + 80, boxTop + 80, {0, 0, 0}, 10);
    EXPECT_GT(dark, 1000) << "modules";
    EXPECT_LT(dark, 4000);
    // The title in the accent colour, centred in the text column near the top.
    EXPECT_GT(f.count(320, 15, 960, 50, {0xff, 0x7a, 0x1a}, 30), 100);
    // The rule under the heading, accent at 0.85.
    EXPECT_GT(f.count(346, 60, 900, 130, {0xf2, 0x72, 0x1c}, 25), 200);
}

TEST(DisplayModule, HiddenOverlayLeavesTheHostsPictureAlone) {
    qktest::TempDir home, frames;
    const std::string png = renderOnce(home, frames, R"({"renderer":"pipeline","visible":false,
        "appearance":{"enabled":true,"color":"#203040"}})",
                                       640, 360);
    ASSERT_FALSE(png.empty());
    Frame f(png);
    ASSERT_TRUE(f.ok());
    EXPECT_EQ(f.count(0, 0, 640, 360, {0x20, 0x30, 0x40}, 2), 0);
}

TEST(DisplayModule, TheTickerShowsWhateverStateTheHostLeftAndTheStateStaysTheHosts) {
    struct Case {
        const char* what;
        std::function<void()> set, unset;
        GLenum hostError = GL_NO_ERROR;
    };
    GLuint unpackBuffer = 0;
    const std::vector<Case> cases = {
        {"back faces culled",
         [] {
             glEnable(GL_CULL_FACE);
             glCullFace(GL_BACK);
         },
         [] { glDisable(GL_CULL_FACE); }},
        {"front faces culled, clockwise in front",
         [] {
             glEnable(GL_CULL_FACE);
             glCullFace(GL_FRONT);
             glFrontFace(GL_CW);
         },
         [] {
             glDisable(GL_CULL_FACE);
             glCullFace(GL_BACK);
             glFrontFace(GL_CCW);
         }},
        {"an unpack buffer bound",
         [&] {
             if (unpackBuffer == 0) glGenBuffers(1, &unpackBuffer);
             glBindBuffer(GL_PIXEL_UNPACK_BUFFER, unpackBuffer);
             glBufferData(GL_PIXEL_UNPACK_BUFFER, 64, nullptr, GL_STREAM_DRAW);
         },
         [] { glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0); }},
        {"rows and pixels skipped, odd lengths",
         [] {
             glPixelStorei(GL_UNPACK_SKIP_ROWS, 3);
             glPixelStorei(GL_UNPACK_SKIP_PIXELS, 5);
             glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, 7);
             glPixelStorei(GL_UNPACK_ROW_LENGTH, 9);
             glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
         },
         [] {
             for (GLenum e : {GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS, GL_UNPACK_IMAGE_HEIGHT, GL_UNPACK_ROW_LENGTH})
                 glPixelStorei(e, 0);
             glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
         }},
        {"an error the host has not read yet", [] { glEnable(0x7FFF); }, [] { glGetError(); }, GL_INVALID_ENUM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qktest::TempDir home, frames;
        InHostState around;
        around.set = c.set;
        around.unset = c.unset;
        around.hostError = c.hostError;
        around.barTop = 720 - 40;
        unpackBuffer = 0;  // the buffer belongs to each run's own context
        renderOnce(home, frames, R"({"renderer":"pipeline","visible":true,"isPlaying":true,
            "current":{"singer":"Alice","title":"Song"},"appearance":{"bar":"#0000ff"}})",
                   1280, 720, {}, &around);
        EXPECT_GT(around.lastPixel[2], 200) << "the bar's blue";
        EXPECT_LT(around.lastPixel[0], 60);
        EXPECT_GT(around.lastBright, 50) << "the singer's name in the bar";
        EXPECT_TRUE(around.stateKept);
        EXPECT_TRUE(around.errorKept);
        const std::string log = qktest::readFile(home.path() + "/QuorvaleKaraoke/overlay.log");
        EXPECT_EQ(log.find("makeTextTexture failed"), std::string::npos) << log;
    }
}

// The pictures in docs/: run with QK_SCREENSHOT_DIR set to write them there.
TEST(DisplayModule, ScreenshotsAt1080p) {
    const char* dir = std::getenv("QK_SCREENSHOT_DIR");
    if (dir == nullptr) GTEST_SKIP() << "QK_SCREENSHOT_DIR not set";
    const std::string rotation = R"("rotation":[{"singer":"Alice","title":"Dancing Queen","wait":"now"},
        {"singer":"Bob","title":"Bohemian Rhapsody","wait":"~4 min"},{"singer":"Chen","isNew":true,"needsSong":true,
        "wait":"~9 min"},{"singer":"Dana","title":"Valerie","wait":"~13 min"},{"singer":"","wait":"~17 min"}])";
    {
        qktest::TempDir home, frames;
        const std::string logo = qktest::pictureDataText("png", 300, 120, 0xFF7A1AFF);
        const std::string gfx = qktest::pictureDataText("png", 160, 160, 0x5DD39EFF);
        const std::string png =
            renderOnce(home, frames,
                       R"({"renderer":"pipeline","visible":true,"isPlaying":false,"venue":"The Quorvale Arms",
            "subtitle":"Sign up at the booth","message":"Two-for-one until ten!","firstEmoji":"⭐",)" +
                           rotation +
                           R"(,"qr":{"url":"https://example.org/request","label":"Scan to sign up"},
            "dance":{"cta":"Everybody on the floor!","title":"September","artist":"Earth, Wind & Fire",
                     "anims":["pulse"],"gfxVer":1},
            "appearance":{"enabled":true,"color":"#1b1f2a","assetsVer":1,"logoWidth":20}})",
                       1920, 1080,
                       {{"audience-assets.json", R"({"logo":")" + logo + R"("})"},
                        {"dance-graphics.json", R"([{"data":")" + gfx + R"("}])"}});
        ASSERT_FALSE(png.empty());
        qktest::writeFile(std::string(dir) + "/idle-screen.png", qktest::readFile(png));
    }
    {
        qktest::TempDir home, frames;
        const std::string png = renderOnce(home, frames, R"({"renderer":"pipeline","visible":true,"isPlaying":true,
            "message":"Welcome to karaoke night!","venue":"The Quorvale Arms","firstEmoji":"⭐",
            "current":{"singer":"Alice","title":"Dancing Queen"},
            "next":[{"singer":"Bob","wait":"~4 min"},{"singer":"Chen","isNew":true,"needsSong":true}]})",
                                           1920, 1080);
        ASSERT_FALSE(png.empty());
        qktest::writeFile(std::string(dir) + "/ticker.png", qktest::readFile(png));
    }
}

}  // namespace
