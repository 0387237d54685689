#include "tests/support/http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace qktest {

std::string RecordedRequest::header(const std::string& name) const {
    for (const auto& [n, v] : headers)
        if (strcasecmp(n.c_str(), name.c_str()) == 0) return v;
    return {};
}

bool RecordedRequest::hasHeader(const std::string& name) const {
    for (const auto& h : headers)
        if (strcasecmp(h.first.c_str(), name.c_str()) == 0) return true;
    return false;
}

namespace {

int listenOnLoopback(int* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) throw std::runtime_error("bind");
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    *port = ntohs(addr.sin_port);
    return fd;
}

void sendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

const char* reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 302: return "Found";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

}  // namespace

HttpTestServer::HttpTestServer(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = listenOnLoopback(&port_);
    ::listen(listenFd_, 64);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
    stopping_ = true;
    ::shutdown(listenFd_, SHUT_RDWR);
    acceptThread_.join();
    ::close(listenFd_);
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& w : workers) w.join();
}

std::string HttpTestServer::url(const std::string& pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(port_) + pathAndQuery;
}

std::vector<RecordedRequest> HttpTestServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void HttpTestServer::acceptLoop() {
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        workers_.emplace_back([this, fd] { serve(fd); });
    }
}

void HttpTestServer::serve(int fd) {
    std::string data;
    char buffer[8192];
    size_t headerEnd = std::string::npos;
    // Read until the header block and the announced body have arrived.
    auto readMore = [&]() {
        pollfd p{fd, POLLIN, 0};
        while (!stopping_) {
            if (::poll(&p, 1, 50) > 0) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) return false;
                data.append(buffer, static_cast<size_t>(n));
                return true;
            }
        }
        return false;
    };
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos)
        if (!readMore()) {
            ::close(fd);
            return;
        }
    RecordedRequest req;
    const std::string head = data.substr(0, headerEnd);
    size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const size_t s1 = requestLine.find(' '), s2 = requestLine.rfind(' ');
    req.method = requestLine.substr(0, s1);
    req.target = requestLine.substr(s1 + 1, s2 - s1 - 1);
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string::npos) end = head.size();
        const std::string line = head.substr(pos, end - pos);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') value.erase(0, 1);
            req.headers.emplace_back(line.substr(0, colon), value);
        }
        pos = end + 2;
    }
    const size_t length = static_cast<size_t>(std::atol(req.header("Content-Length").c_str()));
    while (data.size() < headerEnd + 4 + length)
        if (!readMore()) break;
    req.body = data.substr(headerEnd + 4, length);
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(req);
    }

    const TestReply reply = handler_(req);
    if (reply.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
    if (reply.stall) {
        while (!stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ::close(fd);
        return;
    }
    std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + reason(reply.status) + "\r\n";
    out += "Content-Type: " + reply.contentType + "\r\n";
    for (const auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
    out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
    if (reply.breakAfterBytes >= 0) {
        out += reply.body.substr(0, static_cast<size_t>(reply.breakAfterBytes));
        sendAll(fd, out);
        ::shutdown(fd, SHUT_RDWR);
    } else {
        out += reply.body;
        sendAll(fd, out);
    }
    ::close(fd);
}

int closedPort() {
    int port = 0;
    const int fd = listenOnLoopback(&port);
    ::close(fd);  // bound, never listened: connections are refused
    return port;
}

}  // namespace qktest
