#pragma once
// Service lines for tests of the line list, on top of the stand-in: a line document of the
// test's own choosing, line hosts whose answers to HEAD (and GET) can be held back one by one,
// and a black-holed host that takes connections and never answers.
//
//   registerLineHosts(service);
//   setLineDocument(service, {{{"name", "快"}, {"host", lineHost(service, "fast")}},
//                             {{"name", "慢"}, {"host", lineHost(service, "slow")}}});
//   setLineDelay(service, "slow", 500ms);
//   BlackHoleListener hole;  // {"host", hole.origin()}: a line that never answers
//
// Header-only so that it adds nothing to the stand-in library itself.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

#include "standin-service/StandinService.h"

namespace pex::standin {

// Serves `lines` as the "data" of the line document ("/meeting-network.json"), on every port.
inline void setLineDocument(StandinService& service, nlohmann::json lines) {
    service.addPath("GET", "/meeting-network.json",
                    [lines = std::move(lines)](const Call&) { return Reply::ok(lines); });
}

// The paths "/line/<name>": 200 with an empty body, to HEAD and GET alike.
inline void registerLineHosts(StandinService& service) {
    service.addPath("GET", "/line/*",
                    [](const Call&) { return Reply::text(200, "", "text/plain; charset=utf-8"); });
}

// The host of the test line `name` on `port` (the main port when 0).
inline std::string lineHost(const StandinService& service, const std::string& name, int port = 0) {
    return service.origin(port) + "/line/" + name;
}

// Holds every answer of the line `name` back by `delay` (until the stand-in stops).
inline void setLineDelay(StandinService& service, const std::string& name,
                         std::chrono::milliseconds delay) {
    service.setFault("/line/" + name, Fault::slow(delay));
}

// A port on 127.0.0.1 that lets connections in (the kernel completes them into the backlog)
// and never reads or answers: a request to it waits until its own time-out. Closing the
// listener resets the waiting connections.
class BlackHoleListener {
  public:
    BlackHoleListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_, 1024) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        port_ = ntohs(address.sin_port);
    }
    ~BlackHoleListener() {
        if (fd_ >= 0) ::close(fd_);
    }
    BlackHoleListener(const BlackHoleListener&) = delete;
    BlackHoleListener& operator=(const BlackHoleListener&) = delete;

    int port() const { return port_; }  // 0 when the port could not be opened
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

  private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace pex::standin
