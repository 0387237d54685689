#include "tests/support/http_test_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace qktest {

namespace {

using Socket = HttpTestServer::Socket;

// The few calls where Winsock and POSIX sockets differ.
#ifdef _WIN32
void startSockets() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup");
    });
}
SOCKET raw(Socket s) { return static_cast<SOCKET>(s); }
Socket newTcpSocket() { return static_cast<Socket>(::socket(AF_INET, SOCK_STREAM, 0)); }
Socket acceptOn(Socket s) { return static_cast<Socket>(::accept(raw(s), nullptr, nullptr)); }
bool readable(Socket s, int ms) {
    WSAPOLLFD p{raw(s), POLLRDNORM, 0};
    return ::WSAPoll(&p, 1, ms) > 0;
}
int sendSome(Socket s, const char* data, size_t n) { return ::send(raw(s), data, static_cast<int>(n), 0); }
void shutdownBoth(Socket s) { ::shutdown(raw(s), SD_BOTH); }
void closeSocket(Socket s) { ::closesocket(raw(s)); }
using AddressLength = int;
#else
void startSockets() {}
int raw(Socket s) { return static_cast<int>(s); }
Socket newTcpSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }
Socket acceptOn(Socket s) { return ::accept4(raw(s), nullptr, nullptr, SOCK_CLOEXEC); }
bool readable(Socket s, int ms) {
    pollfd p{raw(s), POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}
ssize_t sendSome(Socket s, const char* data, size_t n) { return ::send(raw(s), data, n, MSG_NOSIGNAL); }
void shutdownBoth(Socket s) { ::shutdown(raw(s), SHUT_RDWR); }
void closeSocket(Socket s) { ::close(raw(s)); }
using AddressLength = socklen_t;
#endif

bool equalsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string RecordedRequest::header(const std::string& name) const {
    for (const auto& [n, v] : headers)
        if (equalsNoCase(n, name)) return v;
    return {};
}

bool RecordedRequest::hasHeader(const std::string& name) const {
    for (const auto& h : headers)
        if (equalsNoCase(h.first, name)) return true;
    return false;
}

namespace {

Socket listenOnLoopback(int* port) {
    startSockets();
    const Socket fd = newTcpSocket();
    if (fd < 0) throw std::runtime_error("socket");
#ifndef _WIN32
    // Winsock's SO_REUSEADDR would let another socket take the port over.
    int one = 1;
    ::setsockopt(raw(fd), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
#endif
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(raw(fd), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) throw std::runtime_error("bind");
    AddressLength len = sizeof addr;
    ::getsockname(raw(fd), reinterpret_cast<sockaddr*>(&addr), &len);
    *port = ntohs(addr.sin_port);
    return fd;
}

void sendAll(Socket fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const auto n = sendSome(fd, bytes.data() + done, bytes.size() - done);
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
    ::listen(raw(listenFd_), 64);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
    stopping_ = true;
    shutdownBoth(listenFd_);
    acceptThread_.join();
    closeSocket(listenFd_);
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
        if (!readable(listenFd_, 50)) continue;
        const Socket fd = acceptOn(listenFd_);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        workers_.emplace_back([this, fd] { serve(fd); });
    }
}

void HttpTestServer::serve(Socket fd) {
    std::string data;
    char buffer[8192];
    size_t headerEnd = std::string::npos;
    // Read until the header block and the announced body have arrived.
    auto readMore = [&]() {
        while (!stopping_) {
            if (readable(fd, 50)) {
                const auto n = ::recv(raw(fd), buffer, sizeof buffer, 0);
                if (n <= 0) return false;
                data.append(buffer, static_cast<size_t>(n));
                return true;
            }
        }
        return false;
    };
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos)
        if (!readMore()) {
            closeSocket(fd);
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
        closeSocket(fd);
        return;
    }
    std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + reason(reply.status) + "\r\n";
    out += "Content-Type: " + reply.contentType + "\r\n";
    for (const auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
    out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
    if (reply.breakAfterBytes >= 0) {
        out += reply.body.substr(0, static_cast<size_t>(reply.breakAfterBytes));
        sendAll(fd, out);
        shutdownBoth(fd);
    } else {
        out += reply.body;
        sendAll(fd, out);
    }
    closeSocket(fd);
}

int closedPort() {
    int port = 0;
    const Socket fd = listenOnLoopback(&port);
    closeSocket(fd);  // bound, never listened: connections are refused
    return port;
}

}  // namespace qktest
