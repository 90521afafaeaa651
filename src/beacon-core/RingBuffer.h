#pragma once
// A fixed number of slots written round-robin: a push overwrites the slot at the tail (the
// oldest element once the buffer is full). Iteration visits the filled slots in slot order,
// not in order of age.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace pex {

struct RingBufferOutOfBoundsPush {
    std::int64_t pushIndex = 0;
    std::int64_t endIndex = 0;
    std::string message() const {
        return "Out-of-bounds push at index " + std::to_string(pushIndex) + " to ring buffer with" +
               "end index of " + std::to_string(endIndex) + ".";
    }
};

template <typename Element>
class RingBuffer {
  public:
    // What a push returns: the overwritten element (or none), or the failure.
    using PushResult = std::variant<std::optional<Element>, RingBufferOutOfBoundsPush>;

    explicit RingBuffer(std::int64_t capacity = 0)
        : circularQueue_(static_cast<std::size_t>(capacity < 0 ? 0 : capacity)) {}
    RingBuffer(std::vector<std::optional<Element>> slotList, std::int64_t tailIndex)
        : circularQueue_(std::move(slotList)), tailIndex_(tailIndex) {}

    PushResult push(Element element) {
        const auto slotCount = static_cast<std::int64_t>(circularQueue_.size());
        if (slotCount == 0) return std::optional<Element>();
        if (tailIndex_ < 0 || tailIndex_ >= slotCount)
            return RingBufferOutOfBoundsPush{tailIndex_, slotCount};
        auto& slot = circularQueue_[static_cast<std::size_t>(tailIndex_)];
        std::optional<Element> replaced = std::move(slot);
        slot = std::move(element);
        tailIndex_ = tailIndex_ + 1 == slotCount ? 0 : tailIndex_ + 1;
        return replaced;
    }

    std::optional<Element> pop() {
        const auto slotCount = static_cast<std::int64_t>(circularQueue_.size());
        if (slotCount == 0) return std::nullopt;
        tailIndex_ = tailIndex_ - 1 < 0 ? slotCount - 1 : tailIndex_ - 1;
        if (tailIndex_ < 0 || tailIndex_ >= slotCount) return std::nullopt;
        auto& slot = circularQueue_[static_cast<std::size_t>(tailIndex_)];
        std::optional<Element> element = std::move(slot);
        slot.reset();
        return element;
    }

    // The filled slotCount' elements, from slot 0 upward.
    std::vector<Element> elements() const {
        std::vector<Element> filled;
        for (const auto& slot : circularQueue_)
            if (slot) filled.push_back(*slot);
        return filled;
    }

    const std::vector<std::optional<Element>>& circularQueue() const { return circularQueue_; }
    std::int64_t tailIndex() const { return tailIndex_; }

  private:
    std::vector<std::optional<Element>> circularQueue_;
    std::int64_t tailIndex_ = 0;
};

}  // namespace pex
