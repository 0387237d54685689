// The HTTP backend of the build (libcurl on Linux, WinHTTP on Windows) against a
// real server on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "platform/http.h"
#include "tests/support/http_errors.h"
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
#ifndef _WIN32
        // Wine 8's WinHttpCrackUrl cuts a bracketed IPv6 host at its first colon.
        {"http://[::1]:81/v6", true, false, "[::1]", 81, "/v6", ""},
#endif
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
        // No path at all may come back empty or as "/": a request asks for "/" either way.
        EXPECT_EQ(u->path.empty() ? "/" : u->path, c.path) << c.url;
        EXPECT_EQ(u->extra, c.extra) << c.url;
    }
}

TEST(Http, SendsExactlyWhatItIsGivenAndReturnsAnyStatus) {
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

// "/r<status>?to=<target>" answers with that redirect, "/loop" with one to itself;
// anything else lands.
qktest::TestReply redirectOrLand(const qktest::RecordedRequest& r) {
    qktest::TestReply reply;
    const std::size_t to = r.target.find("?to=");
    if (r.target.rfind("/r", 0) == 0 && to != std::string::npos) {
        reply.status = std::atoi(r.target.substr(2, 3).c_str());
        reply.headers = {{"Location", r.target.substr(to + 4)}};
        reply.body = "moved";
    } else if (r.target == "/loop") {
        reply.status = 302;
        reply.headers = {{"Location", "/loop"}};
    } else {
        reply.body = "landed " + r.method;
    }
    return reply;
}

// Redirects as browsers follow them: the method each one asks for, credentials
// kept from other sites, and a target that cannot be reached is a failure, not
// the redirect's own answer.
TEST(Http, RedirectsFollowTheBrowsersRules) {
    qktest::HttpTestServer server(redirectOrLand);
    const std::string here = "http://127.0.0.1:" + std::to_string(server.port());
    // Another port is another site, and needs no name to resolve (a bare machine
    // may have no hosts file for "localhost").
    qktest::HttpTestServer other(redirectOrLand);
    const std::string otherSite = "http://127.0.0.1:" + std::to_string(other.port());
    struct Case {
        const char* method;
        std::string object;
        HttpOutcome outcome;
        int status;
        const char* landedMethod;  // nullptr: the redirect is not followed
        bool bodyKept;
        bool credentialsKept;
    };
    const Case cases[] = {
        {"POST", "/r303?to=/next", HttpOutcome::Ok, 200, "GET", false, true},
        {"POST", "/r301?to=/next", HttpOutcome::Ok, 200, "GET", false, true},
        {"POST", "/r302?to=" + here + "/next", HttpOutcome::Ok, 200, "GET", false, true},
        {"POST", "/r307?to=/next", HttpOutcome::Ok, 200, "POST", true, true},
        {"POST", "/r308?to=/next", HttpOutcome::Ok, 200, "POST", true, true},
        {"PUT", "/r302?to=/next", HttpOutcome::Ok, 200, "PUT", true, true},
        {"DELETE", "/r303?to=/next", HttpOutcome::Ok, 200, "GET", false, true},
        {"POST", "/r307?to=" + otherSite + "/next", HttpOutcome::Ok, 200, "POST", true, false},
        {"GET", "/r302?to=ftp://127.0.0.1/song.mp3", HttpOutcome::Ok, 302, nullptr, false, false},
        {"GET", "/r302?to=file:///etc/passwd", HttpOutcome::Ok, 302, nullptr, false, false},
        {"POST", "/r302?to=http://127.0.0.1:" + std::to_string(qktest::closedPort()) + "/", HttpOutcome::TransportError,
         0, nullptr, false, false},
    };
    std::size_t seenBefore = 0, otherSeenBefore = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.object);
        auto request = requestTo(server, c.object);
        request.method = c.method;
        request.body = "{\"song\":1}";
        request.headers = {{"Authorization", "Bearer t"}, {"Content-Type", "application/json"}, {"Cookie", "s=1"},
                           {"X-Api-Key", "k"}};
        const auto response = qk::platform::performHttpRequest(request);
        EXPECT_EQ(response.outcome, c.outcome);
        EXPECT_EQ(response.status, c.status);
        const auto seen = server.requests();
        const auto otherSeen = other.requests();
        const std::size_t made = seen.size() - seenBefore + otherSeen.size() - otherSeenBefore;
        const bool landedElsewhere = otherSeen.size() > otherSeenBefore;
        seenBefore = seen.size();
        otherSeenBefore = otherSeen.size();
        if (c.landedMethod == nullptr) {
            EXPECT_EQ(made, 1u);
            if (c.outcome == HttpOutcome::Ok) {
                EXPECT_EQ(response.body, "moved");
            }
            continue;
        }
        ASSERT_EQ(made, 2u);
        const auto& landed = landedElsewhere ? otherSeen.back() : seen.back();
        EXPECT_EQ(landed.target, "/next");
        EXPECT_EQ(landed.method, c.landedMethod);
        EXPECT_EQ(response.body, std::string("landed ") + c.landedMethod);
        EXPECT_EQ(landed.body, c.bodyKept ? "{\"song\":1}" : "");
        EXPECT_EQ(landed.hasHeader("Content-Type"), c.bodyKept);
        EXPECT_EQ(landed.hasHeader("Authorization"), c.credentialsKept);
        EXPECT_EQ(landed.hasHeader("Cookie"), c.credentialsKept);
        EXPECT_EQ(landed.header("X-Api-Key"), "k");
    }

    // A redirect that never ends is a failure after ten steps.
    const auto loop = qk::platform::performHttpRequest(requestTo(server, "/loop"));
    EXPECT_EQ(loop.outcome, HttpOutcome::TransportError);
    EXPECT_EQ(server.requests().size() - seenBefore, 11u);
}

TEST(HttpRedirect, NeverDownFromHttpsAndCredentialsStayWithTheirSite) {
    HttpRequest from;
    from.secure = true;
    from.host = "api.example.test";
    from.port = 443;
    from.object = "/v1";
    from.method = "GET";
    from.headers = {{"authorization", "Bearer t"}, {"X-Api-Key", "k"}};
    EXPECT_FALSE(qk::platform::redirectedRequest(from, 302, "http://api.example.test/v1"));
    EXPECT_FALSE(qk::platform::redirectedRequest(from, 200, "https://api.example.test/v2"));
    EXPECT_FALSE(qk::platform::redirectedRequest(from, 304, "https://api.example.test/v2"));
    const auto same = qk::platform::redirectedRequest(from, 301, "https://API.example.test/v2?q=1#top");
    ASSERT_TRUE(same);
    EXPECT_EQ(same->object, "/v2?q=1");
    EXPECT_EQ(same->headers.size(), 2u);
    const auto other = qk::platform::redirectedRequest(from, 302, "https://cdn.example.test:8443/");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->port, 8443);
    EXPECT_EQ(other->headers, (std::vector<std::pair<std::string, std::string>>{{"X-Api-Key", "k"}}));
}

TEST(Http, TransportFailuresAndPartialBodies) {
    qktest::HttpTestServer server([](const qktest::RecordedRequest& r) {
        qktest::TestReply reply;
        if (r.target == "/stall") reply.stall = true;
        if (r.target == "/broken") {
            reply.body = std::string(1000, 'x');
            reply.breakAfterBytes = 10;
        }
        return reply;
    });
    // Refused connection: a transport error with the platform's number.
    HttpRequest refused = requestTo(server, "/");
    refused.port = qktest::closedPort();
    const auto r1 = qk::platform::performHttpRequest(refused);
    EXPECT_EQ(r1.outcome, HttpOutcome::TransportError);
    EXPECT_EQ(r1.errorNumber, qktest::kRefusedError);
    EXPECT_EQ(r1.status, 0);

    // A stalled server ends the request after the idle time-out.
    HttpRequest stalled = requestTo(server, "/stall");
    stalled.timeoutMs = 1000;
    const auto start = std::chrono::steady_clock::now();
    const auto r2 = qk::platform::performHttpRequest(stalled);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r2.outcome, HttpOutcome::TransportError);
    EXPECT_TRUE(qktest::isTimeOutError(r2.errorNumber)) << r2.errorNumber;
    EXPECT_GE(secs, 0.9);
    EXPECT_LT(secs, 10.0);

    // A body broken off keeps what arrived.
    const auto r3 = qk::platform::performHttpRequest(requestTo(server, "/broken"));
    EXPECT_EQ(r3.outcome, HttpOutcome::Ok);
    EXPECT_EQ(r3.status, 200);
    EXPECT_EQ(r3.body, std::string(10, 'x'));
}

TEST(Http, RequestsInFlightTogetherEachGetTheirOwnAnswer) {
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
