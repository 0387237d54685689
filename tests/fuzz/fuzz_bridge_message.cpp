// One message from the page into the dispatcher, wired as the plug-in wires it
// (a real file worker, recording window and web view, scripted host), with the
// write roots in a temporary tree. Every message gets one answer that is a JSON
// object, or none at all.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "kit/text.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

struct Rig {
    qktest::TempDir tree;
    qktest::BridgeRig rig;
    Rig() {
        std::filesystem::create_directories(tree.file("root/sub"));
        std::filesystem::create_directories(tree.file("outside"));
        qktest::writeFile(tree.file("root/QuorvaleKaraoke-backup-1.json"), "{}");
        qktest::writeFile(tree.file("root/text.txt"), "caf\xC3\xA9 \xF0\x9F\x8E\xA4");
        qktest::writeFile(tree.file("outside/latin1.txt"), "caf\xE9");
        std::filesystem::create_directory_symlink(tree.file("outside"), tree.file("root/out"));
        std::filesystem::current_path(tree.path());  // relative paths land in the tree
        rig.host.stringAnswer = "Artist \xE2\x80\x93 Title";
        rig.send(qk::Json{{"id", "roots"}, {"action", "set_write_roots"}, {"roots", {tree.file("root")}}}.dump());
    }
};

[[noreturn]] void fail(const char* what, const std::string& script) {
    std::fprintf(stderr, "%s: %.400s\n", what, script.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Rig* rig = new Rig;  // lives for the whole run
    auto& r = rig->rig;
    const std::string_view message(reinterpret_cast<const char*>(data), size);

    // The message as the dispatcher reads it. Two actions stay out: new write
    // roots would let the fuzzer write anywhere on this machine, and cloud
    // requests go to the network.
    const auto parsed = qk::isValidUtf8(message) ? qk::parseJsonStrict(message)
                                                 : qk::parseJsonStrict(qk::wideToUtf8(qk::utf8ToWide(message)));
    bool fileAction = false;
    if (parsed && parsed->is_object()) {
        const std::string action = qk::getString(*parsed, "action");
        if (action == "set_write_roots" || action == "cloud_http") return -1;
        fileAction = action == "readfile" || action == "writefile" || action == "statfile" || action == "listdir" ||
                     action == "mkdir" || action == "deletefile" || action == "drives";
    }

    const std::size_t before = r.webView->scripts().size();
    qk::bridge::dispatchBridgeMessage(r.bridge, r.webView, message);
    if (fileAction) {
        // The worker runs tasks in order: once this one has run, the answer is posted.
        std::atomic<bool> done{false};
        r.worker.enqueue([&done] { done = true; });
        if (!r.ui->pumpUntil([&] { return done.load(); })) fail("the file worker did not finish", "");
        r.ui->pump();
    }
    const auto scripts = r.webView->scripts();
    if (scripts.size() > before + 1) fail("more than one answer", scripts.back());
    if (scripts.size() == before + 1) {
        const std::string& script = scripts.back();
        const std::string prefix = "window.qkResolve(", suffix = ");";
        if (script.rfind(prefix, 0) != 0 || script.size() < prefix.size() + suffix.size() ||
            script.compare(script.size() - suffix.size(), suffix.size(), suffix) != 0)
            fail("not an answer script", script);
        const auto answer = qk::parseJsonStrict(
            std::string_view(script).substr(prefix.size(), script.size() - prefix.size() - suffix.size()));
        if (!answer || !answer->is_object()) fail("the answer is not one JSON object", script);
        if (!answer->contains("id") || !(*answer)["id"].is_string()) fail("the answer has no id", script);
    }
    return 0;
}
