#pragma once
// A recorder delegate that keeps what it hears, for the capture tests.
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "audio/PcmVoiceRecorderDelegate.h"
#include "platform/foundation/MainQueue.h"

namespace pex::test {

class RecordingDelegate : public PcmVoiceRecorderDelegate {
  public:
    void recorderDidStart() override {
        std::lock_guard lock(mutex_);
        onMain_ = onMain_ && MainQueue::isMainThread();
        ++starts_;
    }
    void recorderDidStop() override {
        std::lock_guard lock(mutex_);
        onMain_ = onMain_ && MainQueue::isMainThread();
        ++stops_;
    }
    void voiceRecorded(VoiceFrame frame) override {
        std::lock_guard lock(mutex_);
        bytes_.insert(bytes_.end(), frame.begin(), frame.end());
        ++frames_;
    }
    void voiceDidFail(const std::optional<AudioQueueError>& error) override {
        std::lock_guard lock(mutex_);
        onMain_ = onMain_ && MainQueue::isMainThread();
        failures_.push_back(error ? error->localizedDescription : std::string("(none)"));
    }

    int starts() const { return locked(starts_); }
    int stops() const { return locked(stops_); }
    int frames() const { return locked(frames_); }
    std::vector<std::uint8_t> bytes() const { return locked(bytes_); }
    std::vector<std::string> failures() const { return locked(failures_); }
    bool messagesOnMain() const { return locked(onMain_); }

  private:
    template <typename T>
    T locked(const T& value) const {
        std::lock_guard lock(mutex_);
        return value;
    }

    mutable std::mutex mutex_;
    int starts_ = 0;
    int stops_ = 0;
    int frames_ = 0;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::string> failures_;
    bool onMain_ = true;
};

}  // namespace pex::test
