// "cloud_http" from the page's message to its answer, against a real HTTP server
// on 127.0.0.1; the request each message turns into, without the network.
#include "bridge/cloud_http.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <set>

#include "tests/bridge/bridge_fixture.h"
#include "tests/support/http_errors.h"
#include "tests/support/http_test_server.h"

namespace {

using qktest::BridgeRig;
using qktest::HttpTestServer;
using qktest::RecordedRequest;
using qktest::TestReply;

std::string cloudMessage(const std::string& id, qk::Json members) {
    members["id"] = id;
    members["action"] = "cloud_http";
    return members.dump();
}

TEST(CloudHttpRequest, MethodTimeOutAndObjectFollowThePagesMembers) {
    struct Case {
        qk::Json request;
        const char* method;
        int timeoutMs;
        const char* object;
    };
    const Case cases[] = {
        {{{"url", "http://example.test"}}, "GET", 30000, "/"},
        {{{"url", "https://example.test:8443/v1/songs?q=a%20b&n=2"}, {"method", "post"}, {"timeoutMs", 200}},
         "POST",
         1000,
         "/v1/songs?q=a%20b&n=2"},
        // Only ASCII letters are raised; a time-out that is not a number is absent.
        {{{"url", "http://example.test/x"}, {"method", "m\xC3\xA9thod"}, {"timeoutMs", "5000"}},
         "M\xC3\xA9THOD",
         30000,
         "/x"},
        {{{"url", "http://example.test/x"}, {"method", 5}, {"timeoutMs", 2500.9}}, "GET", 2500, "/x"},
        {{{"url", "http://example.test/x"}, {"timeoutMs", -5}}, "GET", 1000, "/x"},
        {{{"url", "http://example.test/x"}, {"timeoutMs", 1e12}}, "GET", INT_MAX, "/x"},
    };
    for (const Case& c : cases) {
        const auto r = qk::bridge::cloudHttpRequestFrom(c.request);
        ASSERT_TRUE(r.has_value()) << c.request.dump();
        EXPECT_EQ(r->method, c.method) << c.request.dump();
        EXPECT_EQ(r->timeoutMs, c.timeoutMs) << c.request.dump();
        EXPECT_EQ(r->object, c.object) << c.request.dump();
        EXPECT_EQ(r->userAgent, "QuorvaleKaraoke/1.0");
    }
}

TEST(CloudHttp, SendsThePagesRequestAsDescribed) {
    HttpTestServer server([](const RecordedRequest&) { return TestReply{}; });
    BridgeRig rig;
    const qk::Json posted = BridgeRig::answerOf(rig.sendAndWait(cloudMessage(
        "p", {{"url", server.url("/v1/requests?venue=7&night=fri")},
              {"method", "post"},
              {"headers",
               {{"X-Venue", "7"}, {"Authorization", "Bearer t"}, {"X-Count", 3}, {"Content-Type", "application/json"}}},
              {"body", "{\"song\":\"caf\xC3\xA9\"}"}})));
    EXPECT_EQ(posted["hr"], 0);
    rig.sendAndWait(cloudMessage("g", {{"url", "http://127.0.0.1:" + std::to_string(server.port())}}));

    const auto seen = server.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].target, "/v1/requests?venue=7&night=fri");
    EXPECT_EQ(seen[0].body, "{\"song\":\"caf\xC3\xA9\"}");
    EXPECT_EQ(seen[0].header("User-Agent"), "QuorvaleKaraoke/1.0");
    // The page's string headers, in ascending name order; the number is not sent.
    // (The HTTP library's own headers come around them.)
    std::vector<std::string> names;
    for (const auto& [name, value] : seen[0].headers)
        if (name == "Authorization" || name == "Content-Type" || name == "X-Venue" || name == "X-Count")
            names.push_back(name + ": " + value);
    EXPECT_EQ(names,
              (std::vector<std::string>{"Authorization: Bearer t", "Content-Type: application/json", "X-Venue: 7"}));
    EXPECT_EQ(seen[1].method, "GET");
    EXPECT_EQ(seen[1].target, "/");
}

TEST(CloudHttp, AnyStatusIsAnsweredWithItsBodyAsText) {
    HttpTestServer server([](const RecordedRequest& r) {
        TestReply reply;
        if (r.target == "/missing") {
            reply.status = 404;
            reply.contentType = "application/json";
            reply.body = R"({"error":"no such singer"})";
        } else if (r.target == "/latin1") {
            reply.body = "Beyonc\xE9 \xBB Halo";  // ISO-8859-1, not UTF-8
        } else if (r.target == "/broken") {
            reply.body = "0123456789" + std::string(5000, 'x');
            reply.breakAfterBytes = 10;
        } else {
            reply.body = "\xEF\xBB\xBFok";  // a byte-order mark stays
        }
        return reply;
    });
    struct Case {
        const char* path;
        const char* script;
    };
    const Case cases[] = {
        {"/missing",
         R"x(window.qkResolve({"body":"{\"error\":\"no such singer\"}","hr":0,"id":"c","result":"","status":404});)x"},
        {"/latin1",
         R"x(window.qkResolve({"body":"Beyonc\u00e9 \u00bb Halo","hr":0,"id":"c","result":"","status":200});)x"},
        {"/broken", R"x(window.qkResolve({"body":"0123456789","hr":0,"id":"c","result":"","status":200});)x"},
        {"/bom", R"x(window.qkResolve({"body":"\ufeffok","hr":0,"id":"c","result":"","status":200});)x"},
    };
    for (const Case& c : cases) {
        BridgeRig rig;
        EXPECT_EQ(rig.sendAndWait(cloudMessage("c", {{"url", server.url(c.path)}})), c.script) << c.path;
    }
}

TEST(CloudHttp, RefusedAndUnusableUrlsAnswerWithTheirFailure) {
    struct Case {
        std::string url;
        std::string result;
    };
    const Case cases[] = {
        {"ftp://127.0.0.1/song.mp3", "bad url"},
        {"example.test/api", "bad url"},
        {"", "bad url"},
        // The number is the HTTP backend's for a refused connection.
        {"http://127.0.0.1:" + std::to_string(qktest::closedPort()) + "/",
         "transport error (win32 " + std::to_string(qktest::kRefusedError) + ")"},
    };
    for (const Case& c : cases) {
        BridgeRig rig;
        EXPECT_EQ(rig.sendAndWait(cloudMessage("e", {{"url", c.url}})),
                  std::string(R"x(window.qkResolve({"body":"","hr":-1,"id":"e","result":")x") + c.result +
                      R"x(","status":0});)x")
            << c.url;
    }
    // Without a "url" member at all.
    BridgeRig rig;
    EXPECT_EQ(BridgeRig::answerOf(rig.sendAndWait(R"x({"id":"e","action":"cloud_http"})x"))["result"], "bad url");
}

TEST(CloudHttp, AStalledServerEndsTheRequestAfterOneSecondAtLeast) {
    HttpTestServer server([](const RecordedRequest&) {
        TestReply reply;
        reply.stall = true;
        return reply;
    });
    BridgeRig rig;
    const auto start = std::chrono::steady_clock::now();
    const std::string script = rig.sendAndWait(cloudMessage("t", {{"url", server.url("/slow")}, {"timeoutMs", 200}}));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The backend's time-out number. 200 ms is raised to 1000 ms; libcurl's idle
    // timer may fire up to a second late, and nowhere near the 30 s default.
    const qk::Json answer = BridgeRig::answerOf(script);
    unsigned long error = 0;
    ASSERT_EQ(std::sscanf(answer.value("result", "").c_str(), "transport error (win32 %lu)", &error), 1) << script;
    EXPECT_TRUE(qktest::isTimeOutError(error)) << script;
    EXPECT_EQ(script, R"x(window.qkResolve({"body":"","hr":-1,"id":"t","result":"transport error (win32 )x" +
                          std::to_string(error) + R"x()","status":0});)x");
    EXPECT_GE(seconds, 0.95);
    EXPECT_LT(seconds, 10.0);
}

TEST(CloudHttp, RequestsInFlightTogetherEachGetTheirOwnAnswer) {
    HttpTestServer server([](const RecordedRequest& r) {
        TestReply reply;
        reply.body = "answer to " + r.target;
        // The first request answers last.
        reply.delayMs = r.target == "/0" ? 600 : 0;
        return reply;
    });
    BridgeRig rig;
    constexpr int kRequests = 6;
    for (int i = 0; i < kRequests; ++i)
        EXPECT_TRUE(
            rig.send(cloudMessage("r" + std::to_string(i), {{"url", server.url("/" + std::to_string(i))}})).empty());
    ASSERT_TRUE(rig.ui->pumpUntil([&] { return rig.webView->scripts().size() == kRequests; }));
    std::set<std::string> ids;
    for (const std::string& script : rig.webView->scripts()) {
        const qk::Json answer = BridgeRig::answerOf(script);
        const std::string id = answer["id"];
        ids.insert(id);
        EXPECT_EQ(answer["hr"], 0);
        EXPECT_EQ(answer["body"], "answer to /" + id.substr(1));
    }
    EXPECT_EQ(ids.size(), static_cast<size_t>(kRequests));
    // The slow one was overtaken.
    EXPECT_EQ(BridgeRig::answerOf(rig.webView->scripts().back())["id"], "r0");
}

}  // namespace
