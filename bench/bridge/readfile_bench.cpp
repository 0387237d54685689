// "readfile" of a 64 MiB text file as the page reads it, chunk after chunk,
// through dispatch, the file worker, the posted answer, serialization and the
// answer script; beside the raw read of the same file. And the round trip of an
// answer given on the UI thread.
#include <benchmark/benchmark.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "bridge/dispatch.h"
#include "bridge/file_io.h"
#include "bridge/file_worker.h"
#include "bridge/text_decode.h"
#include "kit/text.h"
#include "platform/files.h"
#include "tests/support/inert_window.h"
#include "tests/support/karaoke_log.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr std::size_t kFileBytes = 64u << 20;

// A web view that keeps what a page would look at: how much arrived, and the
// start of the last answer.
class CountingWebView final : public qk::platform::WebView {
public:
    void close() override {}
    void configure(const qk::platform::WebViewSettings&, std::shared_ptr<qk::platform::WebViewEvents>) override {}
    void executeScript(const std::string& script) override {
        bytes += script.size();
        head = script.substr(0, 64);
        ++answers;
    }
    void executeScript(const std::string& s, std::function<void(std::optional<std::string>)>) override {
        executeScript(s);
    }
    void navigate(const std::string&) override {}
    void navigateToString(const std::string&) override {}
    bool setTransparentBackground() override { return false; }
    void fitToWindow() override {}
    std::size_t bytes = 0, answers = 0;
    std::string head;
};

// The main window's queue: the worker posts, the "UI thread" (the benchmark)
// takes and delivers.
class Mailbox final : public qk::platform::PostTarget {
public:
    bool post(int message, std::unique_ptr<qk::platform::PostedRecord> record) override {
        {
            std::lock_guard lock(mutex_);
            if (message == qk::bridge::kBridgeResponseMessage) queue_.push_back(std::move(record));
        }
        ready_.notify_one();
        return true;
    }
    // Waits for one posted answer and delivers it, as the window procedure does.
    void deliverOne() {
        std::unique_ptr<qk::platform::PostedRecord> record;
        {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [&] { return !queue_.empty(); });
            record = std::move(queue_.front());
            queue_.erase(queue_.begin());
        }
        auto* r = static_cast<qk::bridge::PostedResponse*>(record.get());
        qk::bridge::sendBridgeResponse(r->webView.get(), r->response);
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<std::unique_ptr<qk::platform::PostedRecord>> queue_;
};

class Window final : public qktest::InertWindow {
public:
    bool isVisible() const override { return true; }
    std::shared_ptr<qk::platform::PostTarget> postTarget() override { return mailbox; }
    std::shared_ptr<Mailbox> mailbox = std::make_shared<Mailbox>();
};

class Rig final : public qk::bridge::BridgeHost {
public:
    Rig() : alive(std::make_shared<std::atomic<bool>>(true)), worker(qk::LogFile::karaoke()),
            bridge(*this, qk::LogFile::karaoke(), alive) {
        worker.start();
    }
    ~Rig() { worker.stopAndJoin(); }
    vdj::HostServices* hostServices() override { return nullptr; }
    qk::platform::Window* mainWindow() override { return &window; }
    void enqueueFileTask(std::function<void()> task) override { worker.enqueue(std::move(task)); }
    std::optional<qk::Json> runDesktopAction(const std::string&, const qk::Json&, const std::string&) override {
        return std::nullopt;
    }

    qktest::KaraokeLogCapture log;
    Window window;
    std::shared_ptr<CountingWebView> webView = std::make_shared<CountingWebView>();
    qk::bridge::AliveFlag alive;
    qk::bridge::FileWorker worker;
    qk::bridge::Bridge bridge;
};

// Lines of song titles; `mixed` adds accented letters and an emoji per line.
std::string makeText(bool mixed) {
    std::string text;
    text.reserve(kFileBytes);
    const std::string plain = "Singer 0042 - Bohemian Rhapsody (Karaoke Version) key +0 tempo 100\n";
    const std::string accented = "Chanteuse 0042 - D\xC3\xA9j\xC3\xA0 vu, Caf\xC3\xA9 \xF0\x9F\x8E\xA4 (Karaoke)\n";
    std::size_t i = 0;
    while (text.size() < kFileBytes) text += (mixed && (i++ % 2 == 1)) ? accented : plain;
    text.resize(kFileBytes);
    while (!qk::isValidUtf8(text)) text.pop_back();  // the cut may split a character
    return text;
}

struct Sample {
    qktest::TempDir dir;
    std::string path;
    std::vector<std::size_t> offsets;  // where the page asks for each chunk
    explicit Sample(bool mixed) : path(dir.file("songs.txt")) {
        qktest::writeFile(path, makeText(mixed));
        qk::bridge::DecodedText text;
        std::string error;
        qk::bridge::readTextFile(path, text, error);
        for (std::size_t start = 0;;) {
            offsets.push_back(start);
            std::size_t count = std::min(text.unitCount() - start, qk::bridge::kMaxReadChunkUnits);
            if (count != 0 && start + count < text.unitCount() && text.isHighSurrogateAt(start + count - 1)) --count;
            start += count;
            if (start >= text.unitCount()) break;
        }
        // A file the page reads in chunks was written a while before; one written
        // this very moment is read whole for every chunk.
        std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    }
};

void readChunked(benchmark::State& state, bool mixed) {
    Sample sample(mixed);
    Rig rig;
    for (auto _ : state) {
        for (std::size_t offset : sample.offsets) {
            const qk::Json request{{"id", "r"}, {"action", "readfile"}, {"path", sample.path}, {"offset", offset}};
            qk::bridge::dispatchBridgeMessage(rig.bridge, rig.webView, request.dump());
            rig.window.mailbox->deliverOne();
        }
        if (rig.webView->head.rfind("window.qkResolve({\"eof\":true", 0) != 0) state.SkipWithError("no eof");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
    state.counters["chunks"] = static_cast<double>(sample.offsets.size());
}

void BM_ReadfileChunkedAscii(benchmark::State& state) { readChunked(state, false); }
void BM_ReadfileChunkedMixedUtf8(benchmark::State& state) { readChunked(state, true); }

// The same file read once, in the same 1 MiB requests, with no decoding at all.
void BM_RawRead(benchmark::State& state) {
    Sample sample(false);
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::string error;
    for (auto _ : state) {
        qk::bridge::readFileBytes(sample.path, data, size, error);
        benchmark::DoNotOptimize(data.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}

// A UI action from the page's message to the answer script.
void BM_UiActionRoundTrip(benchmark::State& state) {
    Rig rig;
    const std::string message = R"({"id":"req-17","action":"set_picker_dir","path":"/home/kj/Music"})";
    for (auto _ : state) qk::bridge::dispatchBridgeMessage(rig.bridge, rig.webView, message);
    if (rig.webView->head != R"(window.qkResolve({"hr":0,"id":"req-17","result":""});)") state.SkipWithError("bad answer");
}

// Real time gives the figure the page sees; the CPU column counts every thread
// (the worker included), which tells the cost apart from a busy machine.
BENCHMARK(BM_ReadfileChunkedAscii)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_ReadfileChunkedMixedUtf8)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_UiActionRoundTrip)->Unit(benchmark::kNanosecond);

}  // namespace
