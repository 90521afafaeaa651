#pragma once
// The device model's two logs. `model()` is the model's own log (subsystem: the bundle
// identifier or "AudioDeviceHub", category "default"), written at debug level; `system()` is
// the system's default log, where listener failures go. Each has its own sink, so tests can
// capture one without the other; by default both write a line to standard error.
#include <functional>
#include <mutex>
#include <string>

namespace pex {

enum class LogLevel { debug, defaultLevel };

class AudioLog {
  public:
    using Sink = std::function<void(LogLevel level, const std::string& message)>;

    static AudioLog& model();
    static AudioLog& system();

    const std::string& subsystem() const { return subsystem_; }
    const std::string& category() const { return category_; }

    void write(LogLevel level, const std::string& message);
    void debug(const std::string& message) { write(LogLevel::debug, message); }
    void notice(const std::string& message) { write(LogLevel::defaultLevel, message); }

    // Replaces the sink and returns the previous one; nullptr puts the standard-error sink back.
    Sink setSink(Sink sink);

  private:
    AudioLog(std::string subsystem, std::string category);

    const std::string subsystem_;
    const std::string category_;
    std::mutex mutex_;
    Sink sink_;
};

}  // namespace pex
