#include "audio/device-model/AudioLog.h"

#include <cstdio>
#include <utility>

#include "platform/foundation/Bundle.h"

namespace pex {

namespace {

std::string modelSubsystem() {
    const std::string identifier = Bundle::main().bundleIdentifier();
    return identifier.empty() ? "AudioDeviceHub" : identifier;
}

}  // namespace

AudioLog& AudioLog::model() {
    static AudioLog* log = new AudioLog(modelSubsystem(), "default");
    return *log;
}

AudioLog& AudioLog::system() {
    static AudioLog* log = new AudioLog("", "default");
    return *log;
}

AudioLog::AudioLog(std::string subsystem, std::string category)
    : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

void AudioLog::write(LogLevel level, const std::string& message) {
    Sink sink;
    {
        std::lock_guard lock(mutex_);
        sink = sink_;
    }
    if (sink) {
        sink(level, message);
        return;
    }
    const char* levelName = level == LogLevel::debug ? "debug" : "default";
    std::fprintf(stderr, "[%s:%s] %s %s\n", subsystem_.empty() ? "system" : subsystem_.c_str(),
                 category_.c_str(), levelName, message.c_str());
}

AudioLog::Sink AudioLog::setSink(Sink sink) {
    std::lock_guard lock(mutex_);
    return std::exchange(sink_, std::move(sink));
}

}  // namespace pex
