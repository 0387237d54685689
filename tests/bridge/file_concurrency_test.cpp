// The file worker under load: answers in request order, and readers of a file
// being replaced never see it half written.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "bridge/protocol.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/support/special_files.h"
#include "tests/support/wait_for.h"

namespace {

using qktest::BridgeRig;

TEST(FileWorkerOrder, AnswersArriveInRequestOrder) {
    BridgeRig rig;
    qktest::TempDir dir;
    qktest::writeFile(dir.file("a.txt"), "abc");
    rig.send(R"({"id":"roots","action":"set_write_roots","roots":[")" + dir.path() + R"("]})");
    const int n = 60;
    const char* actions[] = {"readfile", "statfile", "listdir", "writefile", "mkdir"};
    for (int i = 0; i < n; ++i) {
        const std::string action = actions[i % 5];
        const std::string path = action == "writefile" ? dir.file("w" + std::to_string(i))
                                 : action == "mkdir"   ? dir.file("d" + std::to_string(i))
                                 : action == "listdir" ? dir.path()
                                                       : dir.file("a.txt");
        rig.send(R"({"id":"q)" + std::to_string(i) + R"(","action":")" + action + R"(","path":")" + path +
                 R"(","content":"x"})");
    }
    ASSERT_TRUE(rig.ui->pumpUntil([&] { return rig.webView->scripts().size() == n + 1; }));
    const auto scripts = rig.webView->scripts();
    for (int i = 0; i < n; ++i) {
        const qk::Json answer = BridgeRig::answerOf(scripts[static_cast<size_t>(i) + 1]);
        std::string expectedId = "q";
        expectedId += std::to_string(i);
        EXPECT_EQ(answer["id"].get<std::string>(), expectedId);
        EXPECT_EQ(answer["hr"], 0) << answer;
    }
}

// Only regular files are read: a pipe would wait for a writer, a device for ever,
// and every later request would queue behind it.
TEST(FileWorkerOrder, WhatIsNotARegularFileIsRefusedAtOnce) {
    BridgeRig rig;
    qktest::TempDir dir;
    ASSERT_TRUE(qktest::makeFifo(dir.file("pipe.json")));
    qktest::SocketFile socket(dir.file("socket.json"));
    ASSERT_TRUE(socket.bound());
    std::filesystem::create_directory(dir.file("folder.json"));
    const std::string paths[] = {dir.file("pipe.json"), dir.file("socket.json"), "/dev/zero", "/dev/null",
                                 dir.file("folder.json")};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::size_t before = rig.webView->scripts().size();
        rig.send(R"({"id":"r","action":"readfile","path":")" + path + R"("})");
        rig.send(R"({"id":"s","action":"statfile","path":")" + path + R"("})");
        const bool answered = qktest::waitFor([&] {
            rig.ui->pump();
            return rig.webView->scripts().size() == before + 2;
        }, 2000);
        if (!answered) {
            qktest::releasePipeReaders(path);
            rig.ui->pumpUntil([&] { return rig.webView->scripts().size() == before + 2; });
        }
        ASSERT_TRUE(answered) << "the file worker waited on it";
        const auto scripts = rig.webView->scripts();
        EXPECT_EQ(BridgeRig::answerOf(scripts[before]), qk::bridge::makeAnswer("r", -1, "read failed (cannot open)"));
        EXPECT_EQ(BridgeRig::answerOf(scripts[before + 1])["exists"], true);
    }
}

TEST(FileWorkerOrder, ReadersNeverSeeAPartlyWrittenFile) {
    BridgeRig rig;
    qktest::TempDir dir;
    const std::string target = dir.file("audience.json");
    const std::string small(100 * 1024, 'a'), large(1024 * 1024 + 4097, 'b');  // two write requests
    qktest::writeFile(target, small);
    rig.send(R"({"id":"roots","action":"set_write_roots","roots":[")" + dir.path() + R"("]})");

    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, torn{0};
    std::thread reader([&] {
        while (!done.load()) {
            const std::string seen = qktest::readFile(target);
            if (seen != small && seen != large) torn.fetch_add(1);
            reads.fetch_add(1);
        }
    });
    const int writes = 20;
    for (int i = 0; i < writes; ++i) {
        const qk::Json message{{"id", std::to_string(i)}, {"action", "writefile"}, {"path", target},
                               {"content", i % 2 == 0 ? large : small}};
        rig.send(message.dump());
    }
    const bool answered = rig.ui->pumpUntil([&] { return rig.webView->scripts().size() == writes + 1; });
    done.store(true);
    reader.join();
    ASSERT_TRUE(answered);
    EXPECT_EQ(torn.load(), 0) << "of " << reads.load() << " reads";
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(qktest::readFile(target), small);  // the last write, whole
}

TEST(FileWorkerStop, QueuedTasksRunAndLateOnesDoNot) {
    qktest::KaraokeLogCapture log;
    qk::bridge::FileWorker worker(qk::LogFile::karaoke());
    ASSERT_TRUE(worker.start());
    std::atomic<int> ran{0};
    std::vector<int> order;
    for (int i = 0; i < 200; ++i)
        worker.enqueue([&, i] {
            order.push_back(i);  // one task at a time: no lock needed
            ran.fetch_add(1);
        });
    worker.stopAndJoin();
    EXPECT_EQ(ran.load(), 200);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
    auto witness = std::make_shared<int>(0);
    worker.enqueue([&, witness] { ran.fetch_add(1); });
    EXPECT_EQ(witness.use_count(), 1);  // destroyed unrun, not kept
    EXPECT_EQ(ran.load(), 200);
}

TEST(FileWorkerStop, AThrowingTaskDoesNotEndTheWorker) {
    qktest::KaraokeLogCapture log;
    qk::bridge::FileWorker worker(qk::LogFile::karaoke());
    worker.start();
    std::atomic<bool> later{false};
    worker.enqueue([] { throw std::runtime_error("disk gone"); });
    worker.enqueue([&] { later.store(true); });
    worker.stopAndJoin();
    EXPECT_TRUE(later.load());
    EXPECT_TRUE(log.hasLine("file task failed: disk gone"));
}

}  // namespace
