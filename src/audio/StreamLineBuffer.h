#pragma once
// Cuts a byte stream that arrives in arbitrary pieces into lines ended by LF. Every byte is
// looked at once and moved at most a bounded number of times, so the cost stays linear in the
// stream however it is cut: taken lines are skipped by an offset (the front is dropped only
// once it is at least half of the buffer), and the search for the next LF resumes where the
// last one stopped.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pex {

class StreamLineBuffer {
  public:
    // A line longer than this is dropped whole (up to its LF), so a stream that never sends
    // an LF cannot make the buffer grow without bound.
    static constexpr std::size_t kDefaultMaximumLineLength = 1024 * 1024;

    explicit StreamLineBuffer(std::size_t maximumLineLength = kDefaultMaximumLineLength)
        : maximumLineLength_(maximumLineLength) {}

    void append(std::string_view chunk);
    // The next complete line without its LF, taken out of the buffer; none when no complete
    // line is waiting. The view stays valid until the next call of `append`.
    std::optional<std::string_view> nextLine();
    // The bytes after the last LF (a last line that has no LF), taken out of the buffer.
    std::string takeRemainder();
    // Bytes waiting: complete lines not yet taken plus the unfinished last line.
    std::size_t pendingSize() const { return bytes_.size() - start_; }

  private:
    std::string bytes_;
    std::size_t start_ = 0;  // first byte not yet taken
    std::size_t scan_ = 0;   // bytes before this hold no LF after `start_`
    std::size_t maximumLineLength_;
    bool discarding_ = false;  // inside an over-long line: drop up to its LF
};

}  // namespace pex
