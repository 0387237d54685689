// The karaoke plug-in end to end on Windows: qkhost.exe loads QuorvaleKaraoke.dll
// from a folder that also holds the WebView2 runtime double (as WebView2Loader.dll)
// and the manager page. The double plays the page: once the page has loaded it
// posts the scripted bridge requests, and it records every script the plug-in
// runs, so the answers are checked as the exact scripts the page would run.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "platform/module_dir.h"
#include "platform/win32/wide_path.h"
#include "tests/support/http_test_server.h"
#include "tests/support/run_program_win32.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using qk::platform::win32::widen;

// `text` as the inside of a JSON string.
std::string jsonText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        out.push_back(text.substr(start, end - start));
    return out;
}

// What the engine was asked to run, with each file time replaced by M (the
// worker reads the time of a file the test cannot know to the millisecond).
std::vector<std::string> scriptsRun(const std::string& doubleLog) {
    std::vector<std::string> out;
    static const std::regex mtime("\"mtime\":[0-9.e+]+");
    for (const auto& line : linesOf(doubleLog))
        if (line.rfind("ExecuteScript ", 0) == 0)
            out.push_back(std::regex_replace(line.substr(14), mtime, "\"mtime\":M"));
    return out;
}

// The monitor list as "displays" answers it, from this desktop.
std::string displaysResult() {
    std::string list;
    struct Walk {
        std::string* list;
        int index = 0;
    } walk{&list};
    ::EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
            auto* w = reinterpret_cast<Walk*>(data);
            MONITORINFOEXW info{};
            info.cbSize = sizeof info;
            if (!::GetMonitorInfoW(monitor, &info)) return TRUE;
            const RECT& r = info.rcMonitor;
            *w->list += std::string(w->list->empty() ? "" : ",") +
                        "{\\\"height\\\":" + std::to_string(r.bottom - r.top) +
                        ",\\\"index\\\":" + std::to_string(w->index) +
                        ",\\\"main\\\":" + ((info.dwFlags & MONITORINFOF_PRIMARY) ? "true" : "false") +
                        ",\\\"name\\\":\\\"Display " + std::to_string(w->index + 1) +
                        "\\\",\\\"width\\\":" + std::to_string(r.right - r.left) + "}";
            ++w->index;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
    return "[" + list + "]";
}

std::string answer(const std::string& object) {
    return "window.qkResolve(" + object + ");";
}

class KaraokeQkhostWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(qktest::exists(qkhost_)) << qkhost_;
        ASSERT_TRUE(qktest::exists(qktest::join(plugins_, "QuorvaleKaraoke.dll")));
        // The deliverable as a KJ installs it, with the double beside it.
        fs::create_directories(fs::u8path(root_.file("mod\\ui")));
        fs::copy_file(fs::u8path(qktest::join(plugins_, "QuorvaleKaraoke.dll")), fs::u8path(dll()));
        fs::copy_file(fs::u8path(qktest::join(bin_, "WebView2Loader.dll")),
                      fs::u8path(root_.file("mod\\WebView2Loader.dll")));
        qktest::writeFile(root_.file("mod\\ui\\index.html"), "<!doctype html><title>manager</title>");
        fs::create_directories(fs::u8path(root_.file("data")));
        fs::create_directories(fs::u8path(root_.file("home")));
    }

    std::string dll() const { return root_.file("mod\\QuorvaleKaraoke.dll"); }
    std::string data() const { return root_.file("data"); }

    // Runs the host for `seconds` with the page's requests, then answers what the
    // double recorded.
    std::string runShow(const std::vector<std::string>& requests, const std::string& extra, int seconds) {
        std::string script;
        for (const auto& r : requests) script += r + "\n";
        qktest::writeFile(root_.file("requests.jsonl"), script);
        ::SetEnvironmentVariableW(L"QK_WEBVIEW2_DOUBLE_MESSAGES", widen(root_.file("requests.jsonl")).c_str());
        ::SetEnvironmentVariableW(L"QK_WEBVIEW2_DOUBLE_LOG", widen(root_.file("double.log")).c_str());
        run_ = qktest::runProgram("\"" + qkhost_ + "\" --home \"" + root_.file("home") + "\" run --seconds " +
                                      std::to_string(seconds) + " " + extra + " \"" + dll() + "\"",
                                  root_.file("qkhost.txt"));
        ::SetEnvironmentVariableW(L"QK_WEBVIEW2_DOUBLE_MESSAGES", nullptr);
        ::SetEnvironmentVariableW(L"QK_WEBVIEW2_DOUBLE_LOG", nullptr);
        return qktest::readFile(root_.file("double.log"));
    }

    const std::string bin_ = qk::platform::moduleDirectory(::GetModuleHandleW(nullptr));
    const std::string plugins_ = qktest::join(qktest::join(bin_, ".."), "plugins");
    const std::string qkhost_ = qktest::join(bin_, "qkhost.exe");
    qktest::TempDir root_;
    qktest::Finished run_;
};

TEST_F(KaraokeQkhostWindows, ThePageLoadsItsRequestsAreAnsweredAsScriptsAndReleaseLeavesTheMarker) {
    qktest::HttpTestServer server([](const qktest::RecordedRequest& r) {
        qktest::TestReply reply;
        reply.body = r.target == "/hello" ? "hi \xc3\xa9" : "?";
        return reply;
    });
    const std::string d = jsonText(data());
    const std::string show = R"({"queue":[1,2],"performances":[1,2,3]})";
    const std::vector<std::string> requests = {
        R"({"action":"set_data_dir","id":"1","path":")" + d + R"("})",
        R"({"action":"set_write_roots","id":"2","roots":[")" + d + R"("]})",
        R"({"action":"writefile","id":"3","path":")" + d + R"(\\shows\\night.json","content":")" + jsonText(show) +
            R"("})",
        R"({"action":"readfile","id":"4","path":")" + d + R"(\\shows\\night.json"})",
        R"({"action":"statfile","id":"5","path":")" + d + R"(\\shows\\night.json"})",
        R"({"action":"listdir","id":"6","path":")" + d + R"(\\shows"})",
        R"({"action":"mkdir","id":"7","path":")" + d + R"(\\sub"})",
        R"({"action":"writefile","id":"8","path":")" + jsonText(root_.file("outside.json")) + R"(","content":"x"})",
        R"({"action":"deletefile","id":"9","path":")" + d + R"(\\shows\\night.json"})",
        R"({"action":"send","id":"10","script":"deck 1 play","yieldFocus":true})",
        R"({"action":"getinfo","id":"11","script":"deck 1 play"})",
        R"({"action":"sha256","id":"12","data":"abc"})",
        R"({"action":"cloud_http","id":"13","url":")" + server.url("/hello") + R"(","method":"get"})",
        R"({"action":"displays","id":"14"})",
    };
    const std::string log = runShow(requests, "--pad 3@3", 5);
    ASSERT_EQ(run_.exitCode, 0u) << run_.output << log;

    // The page beside the module, as the file URL the shell makes of its path.
    std::string page = root_.file("mod\\ui\\index.html");
    std::replace(page.begin(), page.end(), '\\', '/');
    EXPECT_NE(log.find("\nNavigate file:///" + page + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("NavigationStarting file:///" + page + " allowed\n"), std::string::npos) << log;

    const std::string size = std::to_string(show.size());
    const std::vector<std::string> expected = {
        answer(R"({"hr":0,"id":"1","result":""})"),
        answer(R"({"hr":0,"id":"2","result":""})"),
        answer(R"({"hr":0,"id":"3","result":""})"),
        answer(R"({"eof":true,"hr":0,"id":"4","mtime":M,"result":")" + jsonText(show) + R"(","total":)" + size + "}"),
        answer(R"({"exists":true,"hr":0,"id":"5","mtime":M,"result":"","size":)" + size + "}"),
        answer(R"({"hr":0,"id":"6","result":"[{\"dir\":false,\"name\":\"night.json\"}]"})"),
        answer(R"({"hr":0,"id":"7","result":""})"),
        answer(R"({"hr":-1,"id":"8","result":"refused: path is outside the allowed QuorvaleKaraoke write folders"})"),
        answer(R"({"hr":-1,"id":"9","result":"refused: not a QuorvaleKaraoke backup file"})"),
        answer(R"x({"hr":0,"id":"10","result":"(command sent)"})x"),
        answer(R"({"hr":0,"id":"11","result":"0"})"),  // nothing loaded, so not playing
        answer(R"({"hr":0,"id":"12","result":"ungWv48Bz-pBQUDeXa4iI7ADYaOWF3qctBD_YfIAFa0"})"),
        answer(R"({"body":"hi \u00e9","hr":0,"id":"13","result":"","status":200})"),
        answer(R"({"hr":0,"id":"14","result":")" + displaysResult() + R"("})"),
        "window.qkPadCommand && window.qkPadCommand('bgskip')",
    };
    const std::vector<std::string> ran = scriptsRun(log);
    for (const auto& script : expected)
        EXPECT_NE(std::find(ran.begin(), ran.end(), script), ran.end()) << "not run: " << script << "\n" << log;
    // The worker answers the file actions in the order they were asked.
    std::vector<size_t> fileOrder;
    for (const char* id : {"\"id\":\"3\"", "\"id\":\"4\"", "\"id\":\"5\"", "\"id\":\"6\"", "\"id\":\"7\"",
                           "\"id\":\"8\"", "\"id\":\"9\""})
        for (size_t i = 0; i < ran.size(); ++i)
            if (ran[i].find(id) != std::string::npos) fileOrder.push_back(i);
    EXPECT_TRUE(std::is_sorted(fileOrder.begin(), fileOrder.end()));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].method, "GET");

    // Release: the marker of the show on disk, the control closed last.
    const std::string marker = qktest::readFile(qktest::join(data(), "pending-end-show.json"));
    EXPECT_TRUE(
        std::regex_match(marker, std::regex(R"(\{"ask":true,"at":"[^"]+","perf":3,"rot":2,"show":"night.json"\})")))
        << marker;
    const auto lines = linesOf(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "controller Close") << log;
    EXPECT_EQ(log.find("UNEXPECTED"), std::string::npos) << log;
}

TEST_F(KaraokeQkhostWindows, WithoutThePageTheFallbackPageIsShown) {
    fs::remove_all(fs::u8path(root_.file("mod\\ui")));
    const std::string log = runShow({}, "", 2);
    ASSERT_EQ(run_.exitCode, 0u) << run_.output << log;
    EXPECT_NE(log.find("NavigateToString <html><body style='background:#14100d;color:#eee;font-family:sans-serif;"
                       "padding:24px'><h3>QuorvaleKaraoke</h3><p>ui\\index.html was not found next to the plugin "
                       "DLL.</p></body></html>\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("\nNavigate "), std::string::npos) << log;
}

}  // namespace
