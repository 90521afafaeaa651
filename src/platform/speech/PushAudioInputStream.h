#pragma once
// Audio pushed into recognition. `write` may come from any thread and never waits for the
// reader: bytes go into a bounded buffer (ten seconds of the stream's format), and what does
// not fit is dropped and counted. `close` marks the end of the audio. Backends read from the
// other side.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <stop_token>
#include <vector>

#include "platform/speech/AudioStreamFormat.h"

namespace pex {

class PushAudioInputStream {
  public:
    using WriteObserver = std::function<void(std::span<const std::uint8_t> bytes)>;

    PushAudioInputStream();  // the default format
    explicit PushAudioInputStream(const AudioStreamFormat& format);
    PushAudioInputStream(const PushAudioInputStream&) = delete;
    PushAudioInputStream& operator=(const PushAudioInputStream&) = delete;

    void write(std::span<const std::uint8_t> bytes);
    void close();

    const AudioStreamFormat& format() const { return format_; }
    bool isClosed() const;
    std::uint64_t droppedBytes() const;

    // Reader side, for backends: waits for bytes, the end of the audio or a stop request, then
    // copies up to `out.size()` bytes; 0 means closed and empty, or stopped.
    std::size_t read(std::span<std::uint8_t> out, std::stop_token stop = {});
    // Reader side without waiting: copies up to `out.size()` of the bytes already there.
    std::size_t readAvailable(std::span<std::uint8_t> out);
    // For backends: called on the writer's thread for every accepted write (quick work only);
    // nullptr removes it. No call runs once this returns.
    void setWriteObserver(WriteObserver observer);

  private:
    std::size_t takeLocked(std::span<std::uint8_t> out);  // with mutex_ held

    AudioStreamFormat format_;
    mutable std::mutex mutex_;
    std::condition_variable_any readable_;
    std::vector<std::uint8_t> ring_;
    std::size_t head_ = 0;  // next byte to read
    std::size_t size_ = 0;  // bytes waiting
    bool closed_ = false;
    std::uint64_t dropped_ = 0;
    WriteObserver observer_;
};

}  // namespace pex
