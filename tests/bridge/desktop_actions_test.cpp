// The host queries and desktop actions through the dispatcher, with the shell,
// the monitor list and the audience window doubled.
#include <gtest/gtest.h>

#include <climits>

#include "bridge/base64_url.h"
#include "bridge/paths.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using qk::platform::MonitorInfo;
using qk::platform::PickKind;
using qktest::BridgeRig;

class RecordingShell final : public qk::platform::Shell {
public:
    struct Pick {
        PickKind kind;
        std::string title, start;
        qk::platform::Window* owner;
    };
    bool openWebLink(const std::string& url) override {
        opened.push_back(url);
        return launches;
    }
    std::string pickPath(PickKind kind, const std::string& title, const std::string& start,
                         qk::platform::Window* owner) override {
        picks.push_back({kind, title, start, owner});
        return chosen;
    }
    bool launches = true;
    std::string chosen;  // empty: the user cancels
    std::vector<std::string> opened;
    std::vector<Pick> picks;
};

class RecordingAudience final : public qk::bridge::AudienceScreen {
public:
    void showOnMonitor(int index, const MonitorInfo& monitor) override { shown.emplace_back(index, monitor); }
    void hide() override { ++hides; }
    std::vector<std::pair<int, MonitorInfo>> shown;
    int hides = 0;
};

// Two monitors, the second one primary, as a KJ's laptop with a projector shows.
struct DesktopRig : BridgeRig {
    DesktopRig() { desktop = &actions; }
    qk::Json answer(const std::string& message) {
        const auto scripts = send(message);
        return scripts.size() == 1 ? answerOf(scripts[0]) : qk::Json();
    }
    std::vector<MonitorInfo> monitors{{0, 0, 1920, 1080, false, "eDP-1"}, {1920, -200, 4480, 1240, true, "HDMI-1"}};
    RecordingAudience audience;
    std::unique_ptr<RecordingShell> madeShell = std::make_unique<RecordingShell>();
    RecordingShell* shell = madeShell.get();
    qk::bridge::DesktopActions actions{
        {[this]() -> std::unique_ptr<qk::platform::Shell> { return std::move(madeShell); }, [this] { return monitors; },
         &audience},
        qk::LogFile::karaoke()};
};

TEST(HostQueries, SendRefocusesTheManagerOnlyWhenItWasInFrontAndMayKeepIt) {
    struct Case {
        const char* message;
        bool foreground;
        bool refocus;
    };
    const Case cases[] = {
        {R"x({"id":"s","action":"send","script":"deck 1 play"})x", true, true},
        {R"x({"id":"s","action":"send","script":"deck 1 play","yieldFocus":false})x", true, true},
        {R"x({"id":"s","action":"send","script":"deck 1 play","yieldFocus":true})x", true, false},
        // Only a JSON boolean counts: "yes" is as if the member were absent.
        {R"x({"id":"s","action":"send","script":"deck 1 play","yieldFocus":"yes"})x", true, true},
        {R"x({"id":"s","action":"send","script":"deck 1 play"})x", false, false},
    };
    for (const Case& c : cases) {
        BridgeRig rig;
        rig.window->visible = true;
        rig.window->foreground = c.foreground;
        // The host's command brings the host's own window to the front.
        rig.host.onCommand = [&] { rig.window->foreground = false; };
        EXPECT_EQ(rig.send(c.message),
                  std::vector<std::string>{R"x(window.qkResolve({"hr":0,"id":"s","result":"(command sent)"});)x"});
        EXPECT_EQ(rig.host.commands, std::vector<std::string>{"deck 1 play"});
        EXPECT_EQ(rig.window->target->take(qk::bridge::kBridgeRefocusMessage).size(), c.refocus ? 1u : 0u)
            << c.message << " foreground=" << c.foreground;
    }
}

TEST(HostQueries, NumbersAndTextsComeBackAsTheHostGaveThem) {
    struct Case {
        double value;
        const char* text;
    };
    for (const Case& c : {Case{128, "128"}, Case{0.25, "0.25"}, Case{0.5, "0.5"}, Case{-3, "-3"}}) {
        BridgeRig rig;
        rig.host.infoAnswer = c.value;
        EXPECT_EQ(BridgeRig::answerOf(rig.send(R"x({"id":"i","action":"getinfo","script":"get_bpm"})x")[0])["result"],
                  c.text);
    }
    // A host text that fills the whole buffer without ending is cut to 8191 bytes.
    BridgeRig rig;
    rig.host.stringAnswer = std::string(9000, 'a');
    const qk::Json text = BridgeRig::answerOf(rig.send(R"x({"id":"g","action":"getstring","script":"x"})x")[0]);
    EXPECT_EQ(text["result"], std::string(8191, 'a'));
}

TEST(DesktopActions, OpenUrlHandsOnlyWebLinksToTheBrowser) {
    struct Case {
        const char* url;
        bool launches;
        bool offered;
        const char* script;
    };
    const char* opened = R"x(window.qkResolve({"hr":0,"id":"o","result":"opened"});)x";
    const char* bad = R"x(window.qkResolve({"hr":-1,"id":"o","result":"bad url"});)x";
    const Case cases[] = {
        {"https://example.test/songs?q=1", true, true, opened},
        {"http://example.test", true, true, opened},
        {"HTTP://EXAMPLE.TEST/", true, false, bad},
        {"mailto:kj@example.test", true, false, bad},
        {" http://example.test", true, false, bad},
        {"file:///etc/passwd", true, false, bad},
        {"", true, false, bad},
        // The browser could not be launched.
        {"https://example.test/", false, true, bad},
    };
    for (const Case& c : cases) {
        DesktopRig rig;
        qk::Json request = {{"id", "o"}, {"action", "openurl"}, {"url", c.url}};
        rig.shell->launches = c.launches;
        EXPECT_EQ(rig.send(request.dump()), std::vector<std::string>{c.script}) << c.url;
        EXPECT_EQ(rig.shell->opened, c.offered ? std::vector<std::string>{c.url} : std::vector<std::string>{}) << c.url;
    }
}

TEST(DesktopActions, DisplaysListsTheMonitorsInOrderWithOnlyThePrimaryAsMain) {
    DesktopRig rig;
    EXPECT_EQ(rig.send(R"x({"id":"d","action":"displays"})x"),
              std::vector<std::string>{
                  R"x(window.qkResolve({"hr":0,"id":"d","result":"[{\"height\":1080,\"index\":0,\"main\":false,)x"
                  R"x(\"name\":\"Display 1\",\"width\":1920},{\"height\":1440,\"index\":1,\"main\":true,)x"
                  R"x(\"name\":\"Display 2\",\"width\":2560}]"});)x"});
    rig.monitors.clear();
    EXPECT_EQ(rig.answer(R"x({"id":"d","action":"displays"})x")["result"], "[]");
}

TEST(DesktopActions, AudienceShowClampsTheScreenToTheMonitorList) {
    struct Case {
        const char* screenMember;  // the text after "screen": or nothing
        int index;
    };
    const Case cases[] = {
        {"1.9", 1}, {"1", 1},     {"-3", 0},   {nullptr, 0}, {"-0.7", 0},
        {"7", 1},   {"\"1\"", 0}, {"true", 0}, {"1e300", 1}, {"-1e300", 0},
    };
    for (const Case& c : cases) {
        DesktopRig rig;
        std::string message = R"x({"id":"a","action":"audience_show")x";
        if (c.screenMember != nullptr) message += std::string(",\"screen\":") + c.screenMember;
        message += "}";
        EXPECT_EQ(rig.send(message),
                  std::vector<std::string>{R"x(window.qkResolve({"hr":0,"id":"a","result":"shown"});)x"});
        ASSERT_EQ(rig.audience.shown.size(), 1u) << message;
        EXPECT_EQ(rig.audience.shown[0].first, c.index) << message;
        EXPECT_EQ(rig.audience.shown[0].second.left, rig.monitors[static_cast<size_t>(c.index)].left) << message;
    }
}

TEST(DesktopActions, AudienceSwitchesAnswerEvenWithoutAMonitor) {
    DesktopRig rig;
    rig.monitors.clear();
    EXPECT_EQ(rig.answer(R"x({"id":"a","action":"audience_show","screen":1})x")["result"], "shown");
    EXPECT_TRUE(rig.audience.shown.empty());
    EXPECT_TRUE(rig.log.hasLine("audience_show: no monitors")) << rig.log.text();
    EXPECT_EQ(rig.send(R"x({"id":"h","action":"audience_hide"})x"),
              std::vector<std::string>{R"x(window.qkResolve({"hr":0,"id":"h","result":"hidden"});)x"});
    EXPECT_EQ(rig.audience.hides, 1);
}

TEST(DesktopActions, PickersOpenInTheRequestedOrPickerFolderAndReportACancel) {
    qktest::TempDir dir;
    DesktopRig rig;
    rig.send(qk::Json{{"id", "1"}, {"action", "set_picker_dir"}, {"path", dir.path() + "/songs/.."}}.dump());
    // Cancelled, without "start": the picker folder, canonical.
    EXPECT_EQ(rig.send(R"x({"id":"p","action":"pick_folder"})x"),
              std::vector<std::string>{R"x(window.qkResolve({"hr":1,"id":"p","result":""});)x"});
    ASSERT_EQ(rig.shell->picks.size(), 1u);
    EXPECT_EQ(rig.shell->picks[0].kind, PickKind::Folder);
    EXPECT_EQ(rig.shell->picks[0].title, "Choose Folder");
    EXPECT_EQ(rig.shell->picks[0].start, qk::bridge::canonicalizePath(dir.path()));
    EXPECT_EQ(rig.shell->picks[0].owner, rig.window.get());

    // A chosen file, with "start" taking precedence over the picker folder.
    rig.shell->chosen = "/home/kj/Music/caf\xC3\xA9.mp3";
    EXPECT_EQ(
        rig.send(R"x({"id":"f","action":"pick_file","start":"/no/such/../folder"})x"),
        std::vector<std::string>{R"x(window.qkResolve({"hr":0,"id":"f","result":"/home/kj/Music/caf\u00e9.mp3"});)x"});
    EXPECT_EQ(rig.shell->picks[1].kind, PickKind::File);
    EXPECT_EQ(rig.shell->picks[1].title, "Choose File");
    EXPECT_EQ(rig.shell->picks[1].start, qk::bridge::canonicalizePath("/no/folder"));  // ".." resolved

    // A name that is not UTF-8 is answered as the folder listing shows it.
    rig.shell->chosen = "/home/kj/Music/caf\xE9.mp3";
    EXPECT_EQ(
        rig.send(R"x({"id":"g","action":"pick_file"})x"),
        std::vector<std::string>{R"x(window.qkResolve({"hr":0,"id":"g","result":"/home/kj/Music/caf\ufffd.mp3"});)x"});

    // A "start" holding a NUL names no folder: the picker folder is used instead.
    rig.send(R"x({"id":"n","action":"pick_file","start":"/etc\u0000/x"})x");
    EXPECT_EQ(rig.shell->picks[3].start, qk::bridge::canonicalizePath(dir.path()));

    // An empty path clears the picker folder: the chooser gets no start.
    rig.send(R"x({"id":"2","action":"set_picker_dir","path":""})x");
    rig.send(R"x({"id":"p","action":"pick_folder"})x");
    EXPECT_EQ(rig.shell->picks[4].start, "");
}

TEST(DesktopActions, Sha256AnswersTheUnpaddedBase64UrlDigest) {
    struct Case {
        const char* message;
        const char* script;
    };
    const Case cases[] = {
        {R"x({"id":"h","action":"sha256","data":""})x",
         R"x(window.qkResolve({"hr":0,"id":"h","result":"47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU"});)x"},
        {R"x({"id":"h","action":"sha256"})x",
         R"x(window.qkResolve({"hr":0,"id":"h","result":"47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU"});)x"},
        {R"x({"id":"h","action":"sha256","data":"abc"})x",
         R"x(window.qkResolve({"hr":0,"id":"h","result":"ungWv48Bz-pBQUDeXa4iI7ADYaOWF3qctBD_YfIAFa0"});)x"},
    };
    for (const Case& c : cases) {
        DesktopRig rig;
        EXPECT_EQ(rig.send(c.message), std::vector<std::string>{c.script}) << c.message;
    }
}

TEST(Base64Url, EncodesEachTailLengthWithoutPadding) {
    struct Case {
        std::string bytes;
        const char* text;
    };
    const Case cases[] = {
        {"", ""},
        {"f", "Zg"},
        {"fo", "Zm8"},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg"},
        {"fooba", "Zm9vYmE"},
        {"foobar", "Zm9vYmFy"},
        {"\xFB\xFF", "-_8"},
        {std::string("\xFF\xFE\xFD\xFC\x00", 5), "__79_AA"},
    };
    for (const Case& c : cases) EXPECT_EQ(qk::bridge::base64UrlEncode(c.bytes), c.text);
}

}  // namespace
