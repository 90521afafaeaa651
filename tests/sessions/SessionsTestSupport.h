#pragma once
// Fakes of the sessions component's surroundings, and a small reader of protocol-buffer wire
// bytes so tests check the encoding itself rather than nanopb's view of it.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sessions/ApplicationInfo.h"
#include "sessions/EventTXLogger.h"
#include "sessions/InstallationsProtocol.h"
#include "sessions/SettingsProtocol.h"
#include "sessions/Time.h"

namespace pex::test {

// One message's fields by number; each occurrence keeps its varint, fixed64 bits or bytes.
struct WireField {
    int wireType = 0;
    std::uint64_t number = 0;  // varint and fixed64 values
    std::string bytes;         // length-delimited values
};

class WireMessage {
  public:
    explicit WireMessage(const std::string& bytes) {
        std::size_t at = 0;
        while (at < bytes.size()) {
            const std::uint64_t key = varint(bytes, at);
            WireField field;
            field.wireType = static_cast<int>(key & 7);
            if (field.wireType == 0) {
                field.number = varint(bytes, at);
            } else if (field.wireType == 1) {
                for (int i = 0; i < 8; ++i)
                    field.number |= std::uint64_t{static_cast<unsigned char>(bytes.at(at++))}
                                    << (8 * i);
            } else if (field.wireType == 2) {
                const std::uint64_t length = varint(bytes, at);
                field.bytes = bytes.substr(at, length);
                if (at + length > bytes.size()) throw std::out_of_range("truncated field");
                at += length;
            } else {
                throw std::runtime_error("unexpected wire type");
            }
            fields_.emplace(static_cast<int>(key >> 3), field);
        }
    }
    bool has(int number) const { return fields_.count(number) > 0; }
    std::size_t count(int number) const { return fields_.count(number); }
    const WireField& field(int number) const { return fields_.find(number)->second; }
    std::uint64_t number(int field) const { return has(field) ? this->field(field).number : 0; }
    std::string bytes(int field) const { return has(field) ? this->field(field).bytes : ""; }
    WireMessage message(int field) const { return WireMessage(bytes(field)); }
    std::vector<int> numbers() const {
        std::vector<int> list;
        for (const auto& [number, field] : fields_) list.push_back(number);
        return list;
    }

  private:
    static std::uint64_t varint(const std::string& bytes, std::size_t& at) {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            const auto byte = static_cast<unsigned char>(bytes.at(at++));
            value |= std::uint64_t{byte & 0x7fu} << shift;
            if (!(byte & 0x80)) return value;
        }
        throw std::runtime_error("varint too long");
    }
    std::multimap<int, WireField> fields_;
};

class FakeNetworkInfo : public NetworkInfoProtocol {
  public:
    explicit FakeNetworkInfo(int type = 1) : type_(type) {}
    int networkType() const override { return type_; }

  private:
    int type_;
};

struct FakeAppInfo : ApplicationInfoProtocol {
    std::string appIDValue = "1:123:macos:abc";
    std::string osNameValue = "macos";
    std::string buildVersion = "57";
    std::string displayVersion = "2.1";
    RunEnvironment environmentValue = RunEnvironment::production;
    FakeNetworkInfo network{1};

    std::string appID() const override { return appIDValue; }
    std::string sdkVersion() const override { return "12.7.0"; }
    std::string osName() const override { return osNameValue; }
    std::string osDisplayVersion() const override { return "6.1"; }
    std::string deviceModel() const override { return "Test Machine"; }
    const NetworkInfoProtocol& networkInfo() const override { return network; }
    RunEnvironment environment() const override { return environmentValue; }
    std::string appBuildVersion() const override { return buildVersion; }
    std::string appDisplayVersion() const override { return displayVersion; }
};

struct FixedTime : TimeProvider {
    std::uint64_t micros = 1'700'000'000'000'000;
    std::uint64_t eventTimestampMicros() const override { return micros; }
};

struct FakeSettings : SettingsProtocol {
    std::atomic<bool> enabled{true};
    std::atomic<double> timeout{1800};
    std::atomic<double> rate{1.0};
    std::atomic<int> updates{0};
    bool sessionsEnabled() const override { return enabled; }
    double sessionTimeout() const override { return timeout; }
    double samplingRate() const override { return rate; }
    void updateSettings() override { ++updates; }
};

// Answers from a thread of its own, as the installation service does; a request left
// unanswered never answers.
class FakeInstallations : public InstallationsProtocol {
  public:
    std::optional<std::string> id = "installation-1";
    ErrorRef idError;
    std::optional<std::string> token = "token-1";
    bool answerID = true;
    bool answerToken = true;

    ~FakeInstallations() override {
        for (auto& thread : threads_) thread.join();
    }
    void installationID(IDCompletion completion) override {
        if (!answerID) return;
        answer([this, completion] { completion(id, idError); });
    }
    void authToken(TokenCompletion completion) override {
        if (!answerToken) return;
        answer([this, completion] { completion(token, nullptr); });
    }

  private:
    void answer(std::function<void()> work) {
        std::lock_guard guard(lock_);
        threads_.emplace_back(std::move(work));
    }
    std::mutex lock_;
    std::vector<std::thread> threads_;
};

// Keeps every event it is given and answers with `error` (none: success).
class RecordingLogger : public EventTXLoggerProtocol {
  public:
    ErrorRef error;
    void logEvent(std::shared_ptr<const SessionStartEvent> event, Completion completion) override {
        {
            std::lock_guard guard(lock_);
            events_.push_back(event);
        }
        if (completion) completion(error);
    }
    std::vector<std::shared_ptr<const SessionStartEvent>> events() const {
        std::lock_guard guard(lock_);
        return events_;
    }

  private:
    mutable std::mutex lock_;
    std::vector<std::shared_ptr<const SessionStartEvent>> events_;
};

}  // namespace pex::test
