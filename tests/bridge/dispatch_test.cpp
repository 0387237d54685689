// What the page gets back for a message: the exact answer script, or nothing.
#include <gtest/gtest.h>

#include "bridge/protocol.h"
#include "tests/bridge/bridge_fixture.h"

namespace {

using qktest::BridgeRig;

TEST(Dispatch, AnswersUiActionsBeforeReturningWithTheExactScript) {
    struct Case {
        const char* message;
        const char* script;
    };
    const Case cases[] = {
        // An id that is a number or empty answers "0".
        {R"x({"id":7,"action":"set_picker_dir","path":"/p"})x", R"x(window.qkResolve({"hr":0,"id":"0","result":""});)x"},
        {R"x({"id":"","action":"set_picker_dir"})x", R"x(window.qkResolve({"hr":0,"id":"0","result":""});)x"},
        {R"x({"id":"k1","action":"set_data_dir","path":"/d"})x", R"x(window.qkResolve({"hr":0,"id":"k1","result":""});)x"},
        // No action, an unknown one, and one that differs only in case.
        {R"x({"id":"a1"})x", R"x(window.qkResolve({"hr":-1,"id":"a1","result":"( not implemented on Windows yet)"});)x"},
        {R"x({"id":"a2","action":"fly"})x",
         R"x(window.qkResolve({"hr":-1,"id":"a2","result":"(fly not implemented on Windows yet)"});)x"},
        {R"x({"id":"a3","action":"SEND"})x",
         R"x(window.qkResolve({"hr":-1,"id":"a3","result":"(SEND not implemented on Windows yet)"});)x"},
        // A desktop action the plug-in declines.
        {R"x({"id":"a4","action":"sha256","data":"x"})x",
         R"x(window.qkResolve({"hr":-1,"id":"a4","result":"(sha256 not implemented on Windows yet)"});)x"},
    };
    for (const Case& c : cases) {
        BridgeRig rig;
        EXPECT_EQ(rig.send(c.message), std::vector<std::string>{c.script}) << c.message;
    }
}

TEST(Dispatch, UnknownActionsAreLoggedWithTheirName) {
    BridgeRig rig;
    rig.send(R"x({"id":"a1"})x");
    rig.send(R"x({"id":"a2","action":"fly"})x");
    EXPECT_TRUE(rig.log.hasLine("bridge: unimplemented action ''")) << rig.log.text();
    EXPECT_TRUE(rig.log.hasLine("bridge: unimplemented action 'fly'"));
}

TEST(Dispatch, MessagesThatAreNotObjectsAreLoggedAndNeverAnswered) {
    BridgeRig rig;
    // A posted string reaches the plug-in as a JSON string literal.
    EXPECT_TRUE(rig.send(R"x("{\"id\":\"s\",\"action\":\"set_data_dir\"}")x").empty());
    EXPECT_TRUE(rig.send("[1,2]").empty());
    EXPECT_TRUE(rig.send("{\"id\":\"x\"").empty());
    EXPECT_TRUE(rig.send("{\"id\":\"x\"} // note").empty());
    EXPECT_TRUE(rig.log.hasLine(R"x(bridge: unparseable message: "{\"id\":\"s\",\"action\":\"set_data_dir\"}")x"))
        << rig.log.text();
    EXPECT_TRUE(rig.log.hasLine("bridge: unparseable message: [1,2]"));
    // The log shows the first 200 characters only.
    rig.send("\"" + std::string(300, 'x') + "\"");
    EXPECT_TRUE(rig.log.hasLine("bridge: unparseable message: \"" + std::string(199, 'x')));
    EXPECT_TRUE(rig.webView->scripts().empty());
}

TEST(Dispatch, HostTextsArriveEscapedOrAsTheFixedFailure) {
    struct Case {
        std::string hostText;
        std::string script;
    };
    const Case cases[] = {
        {"caf\xC3\xA9", R"x(window.qkResolve({"hr":0,"id":"g","result":"caf\u00e9"});)x"},
        {"\xF0\x9F\x8E\xA4", R"x(window.qkResolve({"hr":0,"id":"g","result":"\ud83c\udfa4"});)x"},
        {"deck \xE9", R"x(window.qkResolve({"id":"0","hr":-1,"result":"(response serialization failed)"});)x"},
    };
    for (const Case& c : cases) {
        BridgeRig rig;
        rig.host.stringAnswer = c.hostText;
        EXPECT_EQ(rig.send(R"x({"id":"g","action":"getstring","script":"get_title"})x"),
                  std::vector<std::string>{c.script});
    }
}

TEST(Dispatch, HostQueriesAnswerWithTheHostsCode) {
    BridgeRig rig;
    rig.host.infoAnswer = 1500000;
    rig.host.rc = -2;
    EXPECT_EQ(rig.send(R"x({"id":"i","action":"getinfo","script":"get_bpm"})x"),
              std::vector<std::string>{R"x(window.qkResolve({"hr":-2,"id":"i","result":"1.5e+06"});)x"});
    EXPECT_EQ(rig.send(R"x({"id":"s","action":"send","script":"play"})x"),
              std::vector<std::string>{R"x(window.qkResolve({"hr":-2,"id":"s","result":"(command sent)"});)x"});
    EXPECT_EQ(rig.host.commands, std::vector<std::string>{"play"});
}

TEST(Dispatch, ConfigurationActionsStoreWhatThePageSent) {
    BridgeRig rig;
    rig.send(R"x({"id":"1","action":"set_data_dir","path":"/srv/kj/"})x");
    rig.send(R"x({"id":"2","action":"set_write_roots","roots":["/a","",7,"/b",null]})x");
    EXPECT_EQ(rig.bridge.dataDir, "/srv/kj/");
    EXPECT_EQ(rig.bridge.writeRoots.copy(), (std::vector<std::string>{"/a", "/b"}));
    EXPECT_TRUE(rig.log.hasLine("set_data_dir      /srv/kj/"));
    EXPECT_TRUE(rig.log.hasLine("set_write_roots   2 root(s)"));
    // A NUL would cut the folder short where the marker is written; it is not taken.
    const auto refused = BridgeRig::answerOf(rig.send(R"x({"id":"n","action":"set_data_dir","path":"/srv/kj\u0000/x"})x")[0]);
    EXPECT_EQ(refused, qk::bridge::makeAnswer("n", -1, "refused: path holds a NUL character"));
    EXPECT_EQ(rig.bridge.dataDir, "/srv/kj/");
    rig.send(R"x({"id":"p","action":"set_picker_dir","path":"/music"})x");
    const auto pickerRefused =
        BridgeRig::answerOf(rig.send(R"x({"id":"q","action":"set_picker_dir","path":"/music\u0000/x"})x")[0]);
    EXPECT_EQ(pickerRefused, qk::bridge::makeAnswer("q", -1, "refused: path holds a NUL character"));
    EXPECT_EQ(rig.bridge.pickerDir, "/music");
    rig.send(R"x({"id":"2","action":"set_write_roots","roots":["/a\u0000/b","/c"]})x");
    EXPECT_EQ(rig.bridge.writeRoots.copy(), std::vector<std::string>{"/c"});
    rig.send(R"x({"id":"3","action":"set_write_roots","roots":"/a"})x");
    EXPECT_TRUE(rig.bridge.writeRoots.copy().empty());
    EXPECT_TRUE(rig.log.hasLine("set_write_roots   0 root(s)"));
}

TEST(Dispatch, FileAndCloudActionsAnswerLaterThroughTheWindow) {
    BridgeRig rig;
    // Nothing is answered before the dispatcher returns.
    EXPECT_TRUE(rig.send(R"x({"id":"f","action":"statfile","path":"/no/such/file"})x").empty());
    EXPECT_TRUE(rig.ui->pumpUntil([&] { return rig.webView->scripts().size() == 1; }));
    EXPECT_EQ(rig.webView->scripts()[0],
              R"x(window.qkResolve({"exists":false,"hr":0,"id":"f","mtime":0.0,"result":"","size":0});)x");

    const std::string cloud = rig.sendAndWait(R"x({"id":"c","action":"cloud_http","url":"http://127.0.0.1:9/"})x");
    const qk::Json answer = BridgeRig::answerOf(cloud);
    EXPECT_EQ(answer["id"], "c");
    EXPECT_EQ(answer["hr"], -1);
    EXPECT_EQ(answer["status"], 0);
    EXPECT_EQ(answer["body"], "");
}

TEST(Dispatch, AnswersAreDroppedOnceThePluginIsNoLongerAlive) {
    BridgeRig rig;
    rig.alive->store(false);
    rig.send(R"x({"id":"f","action":"statfile","path":"/"})x");
    rig.worker.stopAndJoin();  // the task has run
    rig.ui->pump();
    EXPECT_TRUE(rig.webView->scripts().empty());
    EXPECT_EQ(rig.window->target->pending(), 0u);
}

}  // namespace
