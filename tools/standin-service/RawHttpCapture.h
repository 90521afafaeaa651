#pragma once
// A bare HTTP listener on 127.0.0.1 that keeps each request exactly as it arrived on the wire,
// for the few tests that check what the full server hides, such as the order of headers.
// It answers every request with one fixed reply and closes the connection.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pex::standin {

class RawHttpCapture {
  public:
    explicit RawHttpCapture(std::string replyBody = R"({"code":0,"message":"","data":null})",
                            int status = 200);
    ~RawHttpCapture();
    RawHttpCapture(const RawHttpCapture&) = delete;
    RawHttpCapture& operator=(const RawHttpCapture&) = delete;

    int port() const { return port_; }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

    // The request heads received so far, each up to and including the blank line.
    std::vector<std::string> heads() const;
    // Header names of a head, in the order they were sent.
    static std::vector<std::string> headerNames(const std::string& head);

  private:
    void serve();
    void answer(int connection);

    std::string reply_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> heads_;
    std::thread thread_;
};

}  // namespace pex::standin
