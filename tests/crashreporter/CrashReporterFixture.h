#pragma once
// Report folders on disk for the crash reporter's manager tests, a transport whose storage
// answers as a test scripts it, and the SDK's log lines captured down to debug level.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "BeaconTransport/TXPLibrary/TXPFakeComponents.h"
#include "BeaconTransport/TXPLibrary/TXPTransformer.h"
#include "BeaconTransport/TXPLibrary/TXPTransport.h"
#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/reports/ReportsFixture.h"
#include "platform/foundation/Error.h"

namespace pex::test {

// Answers each stored event as scripted: written, not written, written with an error, or not
// at all until the test releases it.
class ScriptedStorage : public RecordingStorage {
  public:
    enum class Answer { Written, NotWritten, WrittenWithError, Hold };

    // Counts the event once it has been answered (or held), so a test that waits for it sees
    // what the answer did.
    void storeEvent(TXPEvent event, StoreCompletion onComplete) override {
        RecordingStorage::storeEvent(std::move(event), nullptr);
        switch (answer.load()) {
            case Answer::Written:
                onComplete(true, nullptr);
                break;
            case Answer::NotWritten:
                onComplete(false, nullptr);
                break;
            case Answer::WrittenWithError:
                onComplete(true, Error::make("TXPFlatFileStorage", 3,
                                             {{Error::kDescriptionKey, "disk full"}}));
                break;
            case Answer::Hold: {
                std::lock_guard lock(mutex_);
                held_.push_back(std::move(onComplete));
                break;
            }
        }
        std::lock_guard lock(mutex_);
        ++received_;
        changed_.notify_all();
    }
    // Waits until `count` events have arrived.
    bool waitForEvents(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return received_ >= count; });
    }
    // Answers every held event.
    void release(bool written) {
        std::vector<StoreCompletion> held;
        {
            std::lock_guard lock(mutex_);
            held.swap(held_);
        }
        for (auto& completion : held) completion(written, nullptr);
    }

    std::atomic<Answer> answer{Answer::Written};

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t received_ = 0;
    std::vector<StoreCompletion> held_;
};

class CrashReporterTest : public ReportsTest {
  protected:
    CrashReporterTest() {
        EXPECT_TRUE(fileManager_->createReportDirectories());
        BCNLogSetLevel(BCNLoggerLevelDebug);
    }

    // A report folder in "active" started at `startedAt` (seconds since 1970). With events it
    // holds a crash: a signal record with one thread, and an (empty) list of images.
    std::string makeReport(const std::string& name, std::int64_t startedAt, bool withEvents = true,
                           const std::string& folder = {}) {
        const std::filesystem::path dir =
            std::filesystem::path(folder.empty() ? fileManager_->activePath() : folder) / name;
        std::filesystem::create_directories(dir);
        writeFile(dir / "metadata.clsrecord", R"({"identity":{"started_at":)" +
                                                  std::to_string(startedAt) + R"(,"session_id":")" +
                                                  name + "\"}}\n");
        if (withEvents) {
            writeFile(dir / "binary_images.clsrecord", "");
            writeFile(dir / "signal.clsrecord",
                      R"({"signal":{"time":)" + std::to_string(startedAt + 5) +
                          R"(,"number":11}})" + "\n" + R"({"threads":[{"stacktrace":[4096]}]})" +
                          "\n");
        }
        return dir.string();
    }

    std::string active(const std::string& name) const {
        return (std::filesystem::path(fileManager_->activePath()) / name).string();
    }
    std::string processing(const std::string& name) const {
        return (std::filesystem::path(fileManager_->processingPath()) / name).string();
    }
    std::string prepared(const std::string& name) const {
        return (std::filesystem::path(fileManager_->preparedPath()) / name).string();
    }
    static bool exists(const std::string& path) { return std::filesystem::exists(path); }

    // Runs everything queued on the work queue so far.
    void drainWorkQueue() {
        workQueue_.sync([] {});
    }

    // The application outlives every send, as the real one does.
    static FakeApplication& application() {
        static auto* shared = new FakeApplication;
        return *shared;
    }
    // A transport for crash reports whose events go to `storage`.
    static std::shared_ptr<TXPTransport> transportInto(
        std::shared_ptr<TXPStorageProtocol> storage) {
        auto registrar = TXPRegistrar::make();
        registrar->registerStorage(std::move(storage), 1002);
        registrar->targetToStorage();  // registered before the first send
        return TXPTransport::make("1206", {}, 1002,
                                  std::make_shared<TXPTransformer>(application(), registrar));
    }

    std::shared_ptr<CRSFileManager> fileManager_ = std::make_shared<CRSFileManager>();
    DispatchQueue workQueue_ = DispatchQueue::serial("com.beacon.crashreporter.startup");
};

}  // namespace pex::test
