#include "platform/speech/SpeechBackend.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/speech/CloudSpeechBackend.h"
#include "platform/speech/DemoSpeechBackend.h"

namespace pex {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, SpeechBackend::Factory> factories{
        {"cloud", [] { return std::make_shared<CloudSpeechBackend>(); }},
        {"demo", [] { return std::make_shared<DemoSpeechBackend>(); }},
    };
    std::shared_ptr<SpeechBackend> current;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

std::string SpeechBackend::chosenName() {
    const char* fromEnvironment = std::getenv("PEXMORA_SPEECH_BACKEND");
    if (fromEnvironment && *fromEnvironment) return fromEnvironment;
    return PEXMORA_DEFAULT_SPEECH_BACKEND;
}

std::shared_ptr<SpeechBackend> SpeechBackend::current() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (!r.current) {
        const auto found = r.factories.find(chosenName());
        if (found != r.factories.end()) r.current = found->second();
    }
    return r.current;
}

void SpeechBackend::setCurrent(std::shared_ptr<SpeechBackend> backend) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.current = std::move(backend);
}

void SpeechBackend::registerBackend(const std::string& name, Factory factory) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.factories[name] = std::move(factory);
}

}  // namespace pex
