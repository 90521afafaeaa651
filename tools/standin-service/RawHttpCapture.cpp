#include "standin-service/RawHttpCapture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace pex::standin {

namespace {

constexpr std::size_t kMaxHead = 64 * 1024;

std::string statusText(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 401:
            return "Unauthorized";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

// Reads until `ready` says the buffer holds enough, the peer stops sending, or a second passes.
template <typename Ready>
void readUntil(int connection, std::string& buffer, Ready ready) {
    char block[4096];
    while (!ready(buffer) && buffer.size() < kMaxHead) {
        pollfd waiting{connection, POLLIN, 0};
        if (::poll(&waiting, 1, 1000) <= 0) return;
        const ssize_t got = ::recv(connection, block, sizeof block, 0);
        if (got <= 0) return;
        buffer.append(block, static_cast<std::size_t>(got));
    }
}

}  // namespace

RawHttpCapture::RawHttpCapture(std::string replyBody, int status) {
    reply_ = "HTTP/1.1 " + std::to_string(status) + " " + statusText(status) +
             "\r\nContent-Type: application/json\r\nContent-Length: " +
             std::to_string(replyBody.size()) + "\r\nConnection: close\r\n\r\n" + replyBody;
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return;  // port() stays 0
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

RawHttpCapture::~RawHttpCapture() {
    stopping_.store(true);
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) ::close(listener_);
}

std::vector<std::string> RawHttpCapture::heads() const {
    std::lock_guard lock(mutex_);
    return heads_;
}

std::vector<std::string> RawHttpCapture::headerNames(const std::string& head) {
    std::vector<std::string> names;
    std::size_t start = head.find("\r\n");
    while (start != std::string::npos) {
        start += 2;
        const std::size_t end = head.find("\r\n", start);
        if (end == std::string::npos || end == start) break;
        const std::size_t colon = head.find(':', start);
        if (colon != std::string::npos && colon < end)
            names.push_back(head.substr(start, colon - start));
        start = end;
    }
    return names;
}

void RawHttpCapture::serve() {
    while (!stopping_.load()) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0) continue;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        answer(connection);
        ::close(connection);
    }
}

void RawHttpCapture::answer(int connection) {
    std::string buffer;
    readUntil(connection, buffer,
              [](const std::string& b) { return b.find("\r\n\r\n") != std::string::npos; });
    const std::size_t headEnd = buffer.find("\r\n\r\n");
    if (headEnd == std::string::npos) return;
    const std::string head = buffer.substr(0, headEnd + 4);
    // Read the body too (its length from the head) so the client sees a normal exchange.
    std::size_t bodyLength = 0;
    for (const char* name : {"Content-Length:", "content-length:"}) {
        const std::size_t at = head.find(name);
        if (at != std::string::npos) bodyLength = std::strtoul(head.c_str() + at + 15, nullptr, 10);
    }
    readUntil(connection, buffer,
              [&](const std::string& b) { return b.size() >= head.size() + bodyLength; });
    {
        std::lock_guard lock(mutex_);
        heads_.push_back(head);
    }
    std::size_t sent = 0;
    while (sent < reply_.size()) {
        const ssize_t wrote =
            ::send(connection, reply_.data() + sent, reply_.size() - sent, MSG_NOSIGNAL);
        if (wrote <= 0) break;
        sent += static_cast<std::size_t>(wrote);
    }
}

}  // namespace pex::standin
