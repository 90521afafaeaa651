#include "platform/speech/PushAudioInputStream.h"

#include <algorithm>
#include <cstring>

namespace pex {

namespace {

constexpr std::uint32_t kBufferedSeconds = 10;

std::size_t capacityFor(const AudioStreamFormat& format) {
    const std::size_t perSecond = std::size_t{format.samplesPerSecond} * format.channels *
                                  std::max(1u, format.bitsPerSample / 8);
    return std::max<std::size_t>(perSecond * kBufferedSeconds, 4096);
}

}  // namespace

PushAudioInputStream::PushAudioInputStream() : PushAudioInputStream(AudioStreamFormat{}) {}

PushAudioInputStream::PushAudioInputStream(const AudioStreamFormat& format)
    : format_(format), ring_(capacityFor(format)) {}

void PushAudioInputStream::write(std::span<const std::uint8_t> bytes) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        const std::size_t room = ring_.size() - size_;
        const std::size_t accepted = std::min(room, bytes.size());
        dropped_ += bytes.size() - accepted;
        std::size_t tail = (head_ + size_) % ring_.size();
        for (std::size_t done = 0; done < accepted;) {
            const std::size_t run = std::min(accepted - done, ring_.size() - tail);
            std::memcpy(ring_.data() + tail, bytes.data() + done, run);
            done += run;
            tail = (tail + run) % ring_.size();
        }
        size_ += accepted;
        if (observer_) observer_(bytes);
    }
    readable_.notify_all();
}

void PushAudioInputStream::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    readable_.notify_all();
}

bool PushAudioInputStream::isClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

std::uint64_t PushAudioInputStream::droppedBytes() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

std::size_t PushAudioInputStream::read(std::span<std::uint8_t> out, std::stop_token stop) {
    std::unique_lock lock(mutex_);
    readable_.wait(lock, stop, [&] { return size_ > 0 || closed_; });
    return takeLocked(out);
}

std::size_t PushAudioInputStream::readAvailable(std::span<std::uint8_t> out) {
    std::lock_guard lock(mutex_);
    return takeLocked(out);
}

std::size_t PushAudioInputStream::takeLocked(std::span<std::uint8_t> out) {
    const std::size_t count = std::min(out.size(), size_);
    for (std::size_t done = 0; done < count;) {
        const std::size_t run = std::min(count - done, ring_.size() - head_);
        std::memcpy(out.data() + done, ring_.data() + head_, run);
        done += run;
        head_ = (head_ + run) % ring_.size();
    }
    size_ -= count;
    return count;
}

void PushAudioInputStream::setWriteObserver(WriteObserver observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

}  // namespace pex
