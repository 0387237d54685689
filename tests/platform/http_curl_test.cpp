// The libcurl backend against a real server on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "platform/http.h"
#include "tests/support/http_test_server.h"

namespace {

using qk::platform::HttpOutcome;
using qk::platform::HttpRequest;

HttpRequest requestTo(const qktest::HttpTestServer& server, const std::string& object) {
    HttpRequest r;
    r.host = "127.0.0.1";
    r.port = server.port();
    r.object = object;
    r.method = "GET";
    r.userAgent = "QuorvaleKaraoke/1.0";
    r.timeoutMs = 5000;
    return r;
}

TEST(HttpUrl, CracksOnlyHttpAndHttps) {
    struct Case {
        const char* url;
        bool ok;
        bool secure;
        const char* host;
        int port;
        const char* path;
        const char* extra;
    };
    const Case cases[] = {
        {"http://example.test", true, false, "example.test", 80, "/", ""},
        {"https://example.test:8443/a/b?x=1&y=%20#frag", true, true, "example.test", 8443, "/a/b", "?x=1&y=%20#frag"},
        {"HTTPS://Example.test/q?", true, true, "Example.test", 443, "/q", "?"},
        {"http://[::1]:81/v6", true, false, "[::1]", 81, "/v6", ""},
        {"ftp://example.test/file", false, false, "", 0, "", ""},
        {"example.test/path", false, false, "", 0, "", ""},
        {"mailto:kj@example.test", false, false, "", 0, "", ""},
        {"", false, false, "", 0, "", ""},
        {"http://", false, false, "", 0, "", ""},
    };
    for (const auto& c : cases) {
        const auto u = qk::platform::crackHttpUrl(c.url);
        ASSERT_EQ(u.has_value(), c.ok) << c.url;
        if (!u) continue;
        EXPECT_EQ(u->secure, c.secure) << c.url;
        EXPECT_EQ(u->host, c.host) << c.url;
        EXPECT_EQ(u->port, c.port) << c.url;
        EXPECT_EQ(u->path, c.path) << c.url;
        EXPECT_EQ(u->extra, c.extra) << c.url;
    }
}

TEST(HttpCurl, SendsExactlyWhatItIsGivenAndReturnsAnyStatus) {
    qktest::HttpTestServer server([](const qktest::RecordedRequest& r) {
        qktest::TestReply reply;
        if (r.target.rfind("/missing", 0) == 0) {
            reply.status = 404;
            reply.body = R"({"error":"no such singer"})";
            reply.contentType = "application/json";
        } else {
            reply.body = "ok";
        }
        return reply;
    });
    auto get = requestTo(server, "/missing?x=1");
    const auto notFound = qk::platform::performHttpRequest(get);
    EXPECT_EQ(notFound.outcome, HttpOutcome::Ok);
    EXPECT_EQ(notFound.status, 404);
    EXPECT_EQ(notFound.body, R"({"error":"no such singer"})");

    auto post = requestTo(server, "/requests");
    post.method = "POST";
    post.headers = {{"Authorization", "Bearer t"}, {"X-Empty", ""}, {"X-Zeta", "z"}};
    post.body = "{\"song\":\"caf\xC3\xA9\"}";
    const auto posted = qk::platform::performHttpRequest(post);
    EXPECT_EQ(posted.outcome, HttpOutcome::Ok);
    EXPECT_EQ(posted.status, 200);

    auto del = requestTo(server, "/");
    del.method = "DELETE";
    qk::platform::performHttpRequest(del);

    const auto seen = server.requests();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].target, "/missing?x=1");
    EXPECT_EQ(seen[0].header("User-Agent"), "QuorvaleKaraoke/1.0");
    EXPECT_EQ(seen[1].method, "POST");
    EXPECT_EQ(seen[1].body, "{\"song\":\"caf\xC3\xA9\"}");
    EXPECT_FALSE(seen[1].hasHeader("Content-Type"));  // only what the page set
    EXPECT_FALSE(seen[1].hasHeader("Expect"));
    EXPECT_TRUE(seen[1].hasHeader("X-Empty"));
    // The page's headers arrive in the order given.
    std::vector<std::string> names;
    for (const auto& h : seen[1].headers)
        if (h.first == "Authorization" || h.first == "X-Empty" || h.first == "X-Zeta") names.push_back(h.first);
    EXPECT_EQ(names, (std::vector<std::string>{"Authorization", "X-Empty", "X-Zeta"}));
    EXPECT_EQ(seen[2].method, "DELETE");
    EXPECT_EQ(seen[2].body, "");
}

TEST(HttpCurl, TransportFailuresAndPartialBodies) {
    qktest::HttpTestServer server([](const qktest::RecordedRequest& r) {
        qktest::TestReply reply;
        if (r.target == "/stall") reply.stall = true;
        if (r.target == "/broken") {
            reply.body = std::string(1000, 'x');
            reply.breakAfterBytes = 10;
        }
        return reply;
    });
    // Refused connection: a transport error with libcurl's number.
    HttpRequest refused = requestTo(server, "/");
    refused.port = qktest::closedPort();
    const auto r1 = qk::platform::performHttpRequest(refused);
    EXPECT_EQ(r1.outcome, HttpOutcome::TransportError);
    EXPECT_EQ(r1.errorNumber, 7u);  // CURLE_COULDNT_CONNECT
    EXPECT_EQ(r1.status, 0);

    // A stalled server ends the request after the idle time-out.
    HttpRequest stalled = requestTo(server, "/stall");
    stalled.timeoutMs = 1000;
    const auto start = std::chrono::steady_clock::now();
    const auto r2 = qk::platform::performHttpRequest(stalled);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r2.outcome, HttpOutcome::TransportError);
    EXPECT_EQ(r2.errorNumber, 28u);  // CURLE_OPERATION_TIMEDOUT
    EXPECT_GE(secs, 0.9);
    EXPECT_LT(secs, 10.0);

    // A body broken off keeps what arrived.
    const auto r3 = qk::platform::performHttpRequest(requestTo(server, "/broken"));
    EXPECT_EQ(r3.outcome, HttpOutcome::Ok);
    EXPECT_EQ(r3.status, 200);
    EXPECT_EQ(r3.body, std::string(10, 'x'));
}

TEST(HttpCurl, RequestsInFlightTogetherEachGetTheirOwnAnswer) {
    qktest::HttpTestServer server([](const qktest::RecordedRequest& r) {
        qktest::TestReply reply;
        reply.body = "answer to " + r.target;
        reply.delayMs = r.target == "/slow" ? 300 : 0;
        return reply;
    });
    std::vector<std::future<qk::platform::HttpResponse>> inFlight;
    const char* targets[] = {"/slow", "/a", "/b", "/c"};
    for (const char* t : targets)
        inFlight.push_back(std::async(std::launch::async, [&server, t] {
            return qk::platform::performHttpRequest(requestTo(server, t));
        }));
    for (size_t i = 0; i < inFlight.size(); ++i) {
        const auto r = inFlight[i].get();
        EXPECT_EQ(r.outcome, HttpOutcome::Ok);
        EXPECT_EQ(r.body, std::string("answer to ") + targets[i]);
    }
}

}  // namespace
