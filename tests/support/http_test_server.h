// A small HTTP/1.1 server on 127.0.0.1 for tests: records each request and answers
// with what the test's handler says, including stalling and breaking off.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qktest {

struct RecordedRequest {
    std::string method;
    std::string target;  // path and query as sent
    std::vector<std::pair<std::string, std::string>> headers;  // in the order sent
    std::string body;
    std::string header(const std::string& name) const;  // case-insensitive; empty when absent
    bool hasHeader(const std::string& name) const;
};

struct TestReply {
    int status = 200;
    std::string body;
    std::string contentType = "text/plain";
    bool stall = false;         // never answer (until the server stops)
    int breakAfterBytes = -1;   // announce the whole body but close after this many bytes
    int delayMs = 0;            // wait before answering
    std::vector<std::pair<std::string, std::string>> headers;  // more response headers ("Location")
};

class HttpTestServer {
public:
    // A socket descriptor on POSIX, a SOCKET on Winsock; -1 when there is none.
    using Socket = std::intptr_t;

    using Handler = std::function<TestReply(const RecordedRequest&)>;
    explicit HttpTestServer(Handler handler);
    ~HttpTestServer();

    int port() const { return port_; }
    std::string url(const std::string& pathAndQuery = "") const;
    std::vector<RecordedRequest> requests() const;

private:
    void acceptLoop();
    void serve(Socket fd);

    Handler handler_;
    Socket listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;
    mutable std::mutex mutex_;
    std::vector<RecordedRequest> requests_;
    std::vector<std::thread> workers_;
};

// A port on 127.0.0.1 where nothing listens.
int closedPort();

}  // namespace qktest
