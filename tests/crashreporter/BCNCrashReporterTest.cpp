// Crash reporting from end to end, as an application carrying the SDK lives it: a child
// program configures the default application, really crashes, and is run again to report the
// crash to the stand-in service over real HTTP on 127.0.0.1. The runs share one isolated home,
// as launches of one installation share a machine.
#include "crashreporter/BCNCrashReporter.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "BeaconTransport/TXPLibrary/TXPMetrics.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "platform/foundation/PropertyList.h"
#include "standin-service/CrashSettingsServer.h"
#include "standin-service/InstallationsServer.h"
#include "standin-service/StandinService.h"
#include "standin-service/TelemetryServer.h"
#include "support/ChildLauncher.h"
#include "support/CrashChildSanitizerOptions.h"
#include "support/CrashReportMessage.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A hex-encoded text field of a record, decoded ("" when absent).
std::string decoded(const nlohmann::json& object, const char* key) {
    if (!object.contains(key) || !object[key].is_string()) return {};
    return CRSFileHexDecodeString(object[key].get_ref<const std::string&>().c_str()).value_or("");
}

// The crash reports' batch of an upload. Beside it an upload may carry only the transport's
// client metrics: those ride along on whichever upload of the process comes after the first one
// (the sessions component's may be first), so their presence depends on timing.
const standin::TelemetryServer::SourceBatch* crashBatchOf(
    const standin::TelemetryServer::Upload& upload) {
    const standin::TelemetryServer::SourceBatch* found = nullptr;
    for (const auto& batch : upload.sourceBatches) {
        if (batch.sourceID == 1206) {
            EXPECT_EQ(found, nullptr) << "a second batch of crash reports";
            found = &batch;
        } else {
            EXPECT_EQ(batch.sourceID, std::stoi(TXPMetricsMappingID)) << "an unexpected batch";
        }
    }
    EXPECT_NE(found, nullptr) << "no batch of crash reports";
    return found;
}

// Logged by an upload that runs at once, as after a launch that died early.
constexpr char kUrgentUpload[] = "skipped rotating the Install ID during urgent mode";

struct ChildRun {
    int exitCode = -1;
    int signal = 0;
    std::string out;
    std::string err;

    bool said(const std::string& line) const { return out.find(line + "\n") != std::string::npos; }
};

class BCNCrashReporterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        service_.start();
        telemetry_.emplace(service_);
        settings_.emplace(service_);
        installations_.emplace(service_);
        fs::create_directories(home());
        writeInfo({});
    }
    // The servers' handlers run on the service's threads: those stop before the servers go.
    void TearDown() override { service_.stop(); }

    fs::path home() const { return machine_.path() / "home"; }
    fs::path bundle() const { return machine_.path() / "bundle"; }
    fs::path reportsRoot() const {
        return home() / ".cache" / "Pexmora" / "com.crashreporter.data" / "com.pexmora.crashtest" /
               "v5" / "reports";
    }
    std::size_t reportsIn(const char* stage) const {
        const fs::path folder = reportsRoot() / stage;
        if (!fs::exists(folder)) return 0;
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    void writeInfo(PropertyList::Dictionary extra) {
        fs::create_directories(bundle());
        PropertyList::Dictionary info{{"CFBundleIdentifier", PropertyList("com.pexmora.crashtest")},
                                      {"CFBundleShortVersionString", PropertyList("1.4")},
                                      {"CFBundleVersion", PropertyList("140")}};
        for (auto& [key, value] : extra) info[key] = value;
        std::ofstream(bundle() / "Info.plist")
            << PropertyList(info).serialize(PropertyList::Format::Xml);
    }

    // Runs the child to its end; with `whileRunning`, calls it (on this thread) until it says
    // done, then lets the child's "hold" step end.
    ChildRun run(const std::vector<std::string>& steps,
                 const std::function<bool()>& whileRunning = nullptr) {
        fs::remove(bundle() / "stop");
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return {};
        const std::string homeText = home().string();
        test::ChildLaunch launch{CRS_REPORTER_CHILD, {bundle().string(), service_.origin()}};
        launch.arguments.insert(launch.arguments.end(), steps.begin(), steps.end());
        launch.environment = {
            {"HOME", homeText},
            // A sanitizer build's own fault handlers leave the signals to the crash reporter.
            {"ASAN_OPTIONS", kChildSanitizerOptions},
            {"UBSAN_OPTIONS", kChildUndefinedSanitizerOptions},
            {"XDG_CACHE_HOME", homeText + "/.cache"},
            {"XDG_CONFIG_HOME", homeText + "/.config"},
            {"XDG_DATA_HOME", homeText + "/.local/share"},
            {"XDG_STATE_HOME", homeText + "/.local/state"}};
        launch.duplicate(out[1], 1).duplicate(err[1], 2);
        launch.close(out[0]).close(err[0]).close(out[1]).close(err[1]);
        const pid_t child = test::launchChild(launch);
        close(out[1]);
        close(err[1]);
        if (child < 0) {
            close(out[0]);
            close(err[0]);
            ADD_FAILURE() << "could not start " << CRS_REPORTER_CHILD;
            return {};
        }
        std::thread stopper;
        if (whileRunning) {
            stopper = std::thread([this, whileRunning] {
                const auto deadline = std::chrono::steady_clock::now() + 40s;
                while (!whileRunning() && std::chrono::steady_clock::now() < deadline) {
                    std::this_thread::sleep_for(50ms);
                }
                std::ofstream(bundle() / "stop") << "";
            });
        }
        ChildRun result;
        readBoth(out[0], result.out, err[0], result.err);
        int status = 0;
        waitpid(child, &status, 0);
        if (stopper.joinable()) stopper.join();
        if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
        return result;
    }

    // Reads both pipes to their ends together: a child blocked on a full pipe that is not
    // being read would never finish the other one.
    static void readBoth(int outFd, std::string& out, int errFd, std::string& err) {
        pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
        std::string* texts[2] = {&out, &err};
        int reading = 2;
        while (reading > 0) {
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0) continue;
                char buffer[4096];
                const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
                if (got > 0) {
                    texts[i]->append(buffer, static_cast<std::size_t>(got));
                } else if (got == 0 || errno != EINTR) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --reading;
                }
            }
        }
        for (const pollfd& fd : fds) {
            if (fd.fd >= 0) close(fd.fd);
        }
    }

    // This launch's own report folder (the only one while no earlier report is left).
    std::optional<fs::path> activeReport() const {
        const fs::path folder = reportsRoot() / "active";
        if (!fs::exists(folder) || reportsIn("active") != 1) return std::nullopt;
        return fs::directory_iterator(folder)->path();
    }

    // The crash reporter's own key-values of a report, decoded, later entries winning.
    static std::map<std::string, std::string> internalKeyValues(const fs::path& report) {
        return keyValues(report, "internal");
    }
    // The key-values of one kind ("internal" or "user") of a report folder, decoded.
    static std::map<std::string, std::string> keyValues(const fs::path& report,
                                                        const std::string& kind) {
        std::map<std::string, std::string> found;
        for (const std::string& name :
             {kind + "_compacted_kv.clsrecord", kind + "_incremental_kv.clsrecord"}) {
            const std::string path = (report / name).string();
            for (const nlohmann::json& line :
                 CRSFileReadSections(path.c_str(), false).value_or(std::vector<nlohmann::json>{})) {
                if (!line.contains("kv") || !line["kv"]["key"].is_string() ||
                    !line["kv"]["value"].is_string()) {
                    continue;
                }
                const auto key =
                    CRSFileHexDecodeString(line["kv"]["key"].get_ref<const std::string&>().c_str());
                const auto value = CRSFileHexDecodeString(
                    line["kv"]["value"].get_ref<const std::string&>().c_str());
                if (key && value) found[*key] = *value;
            }
        }
        return found;
    }

    // The files of the one crash report of the one upload received; empty, with the failure
    // recorded, when the uploads hold anything else.
    std::vector<test::CrashReportFile> theOneUploadedReport() const {
        const auto uploads = crashUploads();
        if (uploads.size() != 1 || !uploads[0].decoded) {
            ADD_FAILURE() << uploads.size() << " uploads instead of one that decodes";
            return {};
        }
        const auto* crashes = crashBatchOf(uploads[0]);
        if (!crashes || crashes->events.size() != 1) {
            ADD_FAILURE() << "not one crash report in the upload";
            return {};
        }
        const auto files = test::crashReportFiles(crashes->events[0].payload);
        EXPECT_TRUE(files) << "a crash report that does not decode";
        return files.value_or(std::vector<test::CrashReportFile>{});
    }

    std::vector<std::string> filesOfTheOneUploadedReport() const {
        std::vector<std::string> names;
        for (const auto& file : theOneUploadedReport()) names.push_back(file.name);
        return names;
    }

    std::map<std::string, std::string> contentsOfTheOneUploadedReport() const {
        std::map<std::string, std::string> byName;
        for (const auto& file : theOneUploadedReport()) byName[file.name] = file.contents;
        return byName;
    }

    // The crash uploads the stand-in received (target 1002's endpoint).
    std::vector<standin::TelemetryServer::Upload> crashUploads() const {
        std::vector<standin::TelemetryServer::Upload> found;
        for (const auto& upload : telemetry_->uploads()) {
            if (upload.path == "/telemetry/crash") found.push_back(upload);
        }
        return found;
    }

    // The crash SDK's own settings downloads (the sessions component asks the same endpoint).
    std::size_t crashSettingsDownloads() const {
        std::size_t count = 0;
        for (const auto& request : settings_->requests()) {
            if (request.header("X-CrashReporter-Developer-Token")) ++count;
        }
        return count;
    }

    // Run 1: crashes before its first run-loop turn. Its settings download (if it gets that
    // far) is refused, so the next launch finds no settings cached.
    void crashOnce() {
        settings_->script({404, {}, std::string("{}"), "application/json"});
        const ChildRun crashed = run({"crash"});
        settings_->clear();
        ASSERT_EQ(crashed.signal, SIGSEGV) << crashed.err;
        ASSERT_TRUE(crashed.said("reporter 1")) << crashed.err;
        ASSERT_EQ(reportsIn("active"), 1u);
        ASSERT_TRUE(fs::exists(reportsRoot() / "launchmarker"));
    }

    test::TempDir machine_;
    standin::StandinService service_;
    std::optional<standin::TelemetryServer> telemetry_;
    std::optional<standin::CrashSettingsServer> settings_;
    std::optional<standin::InstallationsServer> installations_;
};

TEST_F(BCNCrashReporterTest, CrashIsUploadedUrgentlyAtTheNextLaunch) {
    crashOnce();

    const ChildRun next = run({"previous", "wait", "hold"}, [this] {
        return !crashUploads().empty() && reportsIn("active") == 1 && reportsIn("prepared") == 0;
    });
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_TRUE(next.said("previous 1"));
    EXPECT_TRUE(next.said("handled 1")) << next.out;
    EXPECT_EQ(crashSettingsDownloads(), 1u);
    // The launch before died early: the upload ran at once, without the install rotation.
    EXPECT_NE(next.err.find(kUrgentUpload), std::string::npos) << next.err;
    // This launch got past its first run-loop turn.
    EXPECT_FALSE(fs::exists(reportsRoot() / "launchmarker"));

    const auto files = filesOfTheOneUploadedReport();
    EXPECT_NE(std::find(files.begin(), files.end(), "signal.clsrecord"), files.end());
    EXPECT_NE(std::find(files.begin(), files.end(), "signal.clsrecord.symbolicated"), files.end());
    // Only this launch's own report is left.
    EXPECT_EQ(reportsIn("active"), 1u);
    EXPECT_EQ(reportsIn("processing"), 0u);
    EXPECT_EQ(reportsIn("prepared"), 0u);

    const ChildRun third = run({"previous", "wait"});
    EXPECT_TRUE(third.said("previous 0")) << third.err;
    EXPECT_EQ(crashSettingsDownloads(), 1u);  // the cached settings are still fresh
    EXPECT_EQ(crashUploads().size(), 1u);
}

// A crash after the launch got going leaves no launch marker: the next launch sends it in the
// background.
TEST_F(BCNCrashReporterTest, ALaterCrashIsUploadedWithoutUrgency) {
    const ChildRun crashed = run({"wait", "crash"});
    ASSERT_EQ(crashed.signal, SIGSEGV) << crashed.err;
    EXPECT_TRUE(crashed.said("handled 1")) << crashed.out;
    ASSERT_FALSE(fs::exists(reportsRoot() / "launchmarker"));

    const ChildRun next = run({"wait", "hold"}, [this] { return !crashUploads().empty(); });
    EXPECT_EQ(next.exitCode, 0) << next.err;
    const auto files = filesOfTheOneUploadedReport();
    EXPECT_NE(std::find(files.begin(), files.end(), "signal.clsrecord"), files.end());
    EXPECT_EQ(next.err.find(kUrgentUpload), std::string::npos) << next.err;
}

// Each public recording call lands in the crash's report under its own key, and a report the
// application is offered can still be annotated before it is sent.
TEST_F(BCNCrashReporterTest, ThePublicCallsLandInTheUploadedReport) {
    writeInfo({{"BeaconCrashReporterCollectionEnabled", PropertyList(false)}});
    const ChildRun crashed = run({"public", "crash"});
    ASSERT_EQ(crashed.signal, SIGSEGV) << crashed.err;
    const ChildRun next =
        run({"update", "send", "wait", "hold"}, [this] { return !crashUploads().empty(); });
    EXPECT_TRUE(next.said("update 1")) << next.err;

    // The sent files, read back as a report folder.
    const fs::path sent = machine_.path() / "sent";
    fs::create_directories(sent);
    for (const auto& [name, contents] : contentsOfTheOneUploadedReport()) {
        std::ofstream(sent / name, std::ios::binary) << contents;
    }
    auto user = keyValues(sent, "user");
    EXPECT_EQ(user["color"], "blue");
    EXPECT_EQ(user["tier"], "gold");
    EXPECT_EQ(user["after"], "checked");
    EXPECT_EQ(internalKeyValues(sent)["com.crashreporter.user-id"], "user-7");

    const auto all = [&](std::initializer_list<const char*> names, const char* section) {
        std::vector<nlohmann::json> found;
        for (const char* name : names) {
            const std::string path = (sent / name).string();
            for (const auto& line :
                 CRSFileReadSections(path.c_str(), false).value_or(std::vector<nlohmann::json>{})) {
                if (line.contains(section)) found.push_back(line[section]);
            }
        }
        return found;
    };
    std::string logText;
    for (const auto& line : all({"log_a.clsrecord", "log_b.clsrecord"}, "log")) {
        logText += decoded(line, "msg") + "\n";
    }
    EXPECT_NE(logText.find("visit 42"), std::string::npos) << logText;
    EXPECT_NE(logText.find("annotated"), std::string::npos) << logText;

    const auto errors = all({"errors_a.clsrecord", "errors_b.clsrecord"}, "error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(decoded(errors[0], "domain"), "com.pexmora.test");
    EXPECT_EQ(errors[0]["code"], 17);
    const auto exceptions =
        all({"custom_exception_a.clsrecord", "custom_exception_b.clsrecord"}, "exception");
    ASSERT_EQ(exceptions.size(), 1u);
    EXPECT_EQ(decoded(exceptions[0], "name"), "ScriptError");
    EXPECT_EQ(decoded(exceptions[0], "reason"), "undefined is not a function");
}

// The rollouts a remote-configuration component of the application reports: written to the
// launch's report, attached to its error and exception records, and uploaded with the crash.
TEST_F(BCNCrashReporterTest, RolloutsOfARemoteConfigComponentTravelWithTheReport) {
    const ChildRun crashed = run({"remoteconfig", "rollouts", "public", "crash"});
    ASSERT_EQ(crashed.signal, SIGSEGV) << crashed.err;
    EXPECT_TRUE(crashed.said("rollouts subscriber beacon")) << crashed.out;
    const ChildRun next = run({"wait", "hold"}, [this] { return !crashUploads().empty(); });
    EXPECT_EQ(next.exitCode, 0) << next.err;

    const auto files = contentsOfTheOneUploadedReport();
    const auto rollouts = files.find("rollouts.clsrecord");
    ASSERT_NE(rollouts, files.end());
    ASSERT_FALSE(rollouts->second.empty());
    ASSERT_EQ(rollouts->second.back(), '\n');
    const nlohmann::json line = nlohmann::json::parse(rollouts->second);
    ASSERT_EQ(line["rollouts"].size(), 2u) << line.dump();
    std::map<std::string, nlohmann::json> byRollout;
    for (const auto& each : line["rollouts"]) {
        byRollout[decoded(each, "rollout_id")] = each;
    }
    ASSERT_EQ(byRollout.count("checkout-flow"), 1u) << line.dump();
    const nlohmann::json& checkout = byRollout["checkout-flow"];
    EXPECT_EQ(decoded(checkout, "variant_id"), "variant-b");
    EXPECT_EQ(decoded(checkout, "parameter_key"), "button_color");
    EXPECT_EQ(decoded(checkout, "parameter_value"), "green");
    EXPECT_EQ(checkout["template_version"], 12);
    EXPECT_EQ(byRollout.count("onboarding"), 1u);

    // The error and the exception recorded after the change carry the same assignments.
    for (const char* name : {"errors_a.clsrecord", "custom_exception_a.clsrecord"}) {
        SCOPED_TRACE(name);
        const auto record = files.find(name);
        ASSERT_NE(record, files.end());
        const nlohmann::json entry = nlohmann::json::parse(record->second);
        const nlohmann::json& body = entry.begin().value();
        ASSERT_TRUE(body.contains("rollouts")) << entry.dump();
        EXPECT_EQ(body["rollouts"]["rollouts"].size(), 2u) << entry.dump();
    }
}

// A launch's report names its installation and says when the crash reporter started and when
// the application reached its first run-loop turn.
TEST_F(BCNCrashReporterTest, TheReportCarriesTheInstallationAndTheLaunchTimes) {
    const auto millisNow = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    const long long before = millisNow();
    std::map<std::string, std::string> keyValues;
    std::optional<fs::path> report;
    const ChildRun launch = run({"wait", "hold"}, [&] {
        report = activeReport();
        if (!report) return false;
        keyValues = internalKeyValues(*report);
        return keyValues.count("com.crashreporter.first-run-loop-time") > 0 &&
               keyValues.count("com.crashreporter.kit-start-time") > 0;
    });
    const long long after = millisNow();
    EXPECT_EQ(launch.exitCode, 0) << launch.err;
    ASSERT_TRUE(report);

    const long long kitStart = std::stoll(keyValues["com.crashreporter.kit-start-time"]);
    const long long firstRunLoop = std::stoll(keyValues["com.crashreporter.first-run-loop-time"]);
    EXPECT_GE(kitStart, before);
    EXPECT_LE(kitStart, firstRunLoop);
    EXPECT_LE(firstRunLoop, after);

    const std::string metadataPath = (*report / "metadata.clsrecord").string();
    const auto metadata = CRSFileReadSections(metadataPath.c_str(), false);
    ASSERT_TRUE(metadata && !metadata->empty());
    const nlohmann::json& identity = (*metadata)[0]["identity"];
    ASSERT_TRUE(identity["install_id"].is_string()) << identity.dump();
    // The install UUID the crash reporter keeps.
    EXPECT_TRUE(std::regex_match(identity["install_id"].get<std::string>(),
                                 std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")))
        << identity.dump();
}

// The crash's metadata was damaged after the crash: the next launch still sends the crash.
TEST_F(BCNCrashReporterTest, ACrashWithDamagedMetadataIsStillSent) {
    crashOnce();
    const auto crashed = activeReport();
    ASSERT_TRUE(crashed);
    std::ofstream(*crashed / "metadata.clsrecord", std::ios::trunc) << "{\"identity\":{\"sess";

    const ChildRun next = run({"wait", "hold"}, [this] { return !crashUploads().empty(); });
    EXPECT_EQ(next.exitCode, 0) << next.err;
    const auto files = filesOfTheOneUploadedReport();
    EXPECT_NE(std::find(files.begin(), files.end(), "signal.clsrecord"), files.end());
    // The damaged record is not sent.
    EXPECT_EQ(std::find(files.begin(), files.end(), "metadata.clsrecord"), files.end());
}

TEST_F(BCNCrashReporterTest, AnAnalyticsComponentOfTheApplicationHearsOfTheReportedCrash) {
    crashOnce();
    const ChildRun next =
        run({"analytics", "wait", "hold"}, [this] { return !crashUploads().empty(); });
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_TRUE(next.said("analytics listener clx")) << next.out;
    EXPECT_TRUE(next.said("analytics event clx _ae fatal=1")) << next.out;
    EXPECT_EQ(crashUploads().size(), 1u);
}

TEST_F(BCNCrashReporterTest, AnOnDemandExceptionIsSentAtOnce) {
    const ChildRun running =
        run({"wait", "ondemand", "hold"}, [this] { return !crashUploads().empty(); });
    EXPECT_TRUE(running.said("handled 1")) << running.err;
    const auto files = filesOfTheOneUploadedReport();
    EXPECT_NE(std::find(files.begin(), files.end(), "custom_exception_a.clsrecord"), files.end());
    // Only this launch's own report is left.
    EXPECT_EQ(reportsIn("active"), 1u);
}

TEST_F(BCNCrashReporterTest, WithCollectionOffTheReportWaitsForTheApplication) {
    writeInfo({{"BeaconCrashReporterCollectionEnabled", PropertyList(false)}});
    struct Case {
        const char* name;
        std::vector<std::string> decide;
        bool uploaded;
    };
    const Case cases[] = {
        {"send", {"send"}, true},
        {"enable", {"enable"}, true},
        {"delete", {"delete"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        telemetry_->clear();
        crashOnce();

        // Nothing is sent while the application has not decided.
        const ChildRun waiting = run({"check", "check"});
        EXPECT_TRUE(waiting.said("unsent 1")) << waiting.err;
        EXPECT_TRUE(waiting.said("unsent 0"));
        std::this_thread::sleep_for(200ms);
        EXPECT_TRUE(crashUploads().empty());
        EXPECT_EQ(reportsIn("active"), 2u);

        std::vector<std::string> steps{"check"};
        steps.insert(steps.end(), c.decide.begin(), c.decide.end());
        steps.push_back("wait");
        steps.push_back("hold");
        const ChildRun decided = run(
            steps, [&] { return c.uploaded ? !crashUploads().empty() : reportsIn("active") == 1; });
        EXPECT_TRUE(decided.said("handled 1")) << decided.err;
        EXPECT_EQ(!crashUploads().empty(), c.uploaded);
        EXPECT_EQ(reportsIn("active"), 1u);
        EXPECT_EQ(reportsIn("processing") + reportsIn("prepared"), 0u);
        // Enabling is remembered: the next case starts on a fresh machine.
        fs::remove_all(home() / ".cache");
        fs::remove_all(home() / ".config");
        fs::remove_all(home() / ".local");
    }
}

TEST_F(BCNCrashReporterTest, DeleteRemovesReportsInEveryStage) {
    writeInfo({{"BeaconCrashReporterCollectionEnabled", PropertyList(false)}});
    crashOnce();
    // Reports an earlier launch left half-way through processing and packaging.
    const fs::path active = *fs::directory_iterator(reportsRoot() / "active");
    fs::create_directories(reportsRoot() / "processing");
    fs::create_directories(reportsRoot() / "prepared");
    fs::copy(active, reportsRoot() / "processing" / "aaaa", fs::copy_options::recursive);
    fs::copy(active, reportsRoot() / "prepared" / "bbbb", fs::copy_options::recursive);

    const ChildRun deleted = run({"delete", "wait"});
    EXPECT_TRUE(deleted.said("handled 1")) << deleted.err;
    EXPECT_EQ(reportsIn("active"), 1u);  // this launch's own
    EXPECT_EQ(reportsIn("processing"), 0u);
    EXPECT_EQ(reportsIn("prepared"), 0u);
    EXPECT_TRUE(crashUploads().empty());
}

TEST_F(BCNCrashReporterTest, LegacyCollectionKeyStopsStartUp) {
    writeInfo({{"beacon_crashreporter_collection_enabled", PropertyList(true)}});
    const ChildRun started = run({"started"});
    EXPECT_EQ(started.exitCode, 0);
    EXPECT_TRUE(started.said("started 0")) << started.out;
    const std::vector<std::string> lines{
        "Found legacy data collection key in app's Info.plist: "
        "beacon_crashreporter_collection_enabled",
        "Please update your Info.plist to use the new data collection key: "
        "BeaconCrashReporterCollectionEnabled",
        "The legacy data collection Info.plist value could be overridden by calling: "
        "[CrashReporterLegacy with:...]",
        "The new value can be overridden by calling: [[BCNCrashReporter crashreporter] "
        "setCrashReporterCollectionEnabled:<isEnabled>]",
        "Crash reporting could not be initialized"};
    std::size_t at = 0;
    for (const auto& line : lines) {
        const std::size_t found = started.err.find(line, at);
        EXPECT_NE(found, std::string::npos) << line << "\n" << started.err;
        if (found != std::string::npos) at = found;
    }
    // No report of this launch, no marker: nothing was set up.
    EXPECT_EQ(reportsIn("active"), 0u);
    EXPECT_FALSE(fs::exists(reportsRoot() / "launchmarker"));
}

TEST_F(BCNCrashReporterTest, SecondInstanceIsRefused) {
    const ChildRun twice = run({"second", "wait"});
    EXPECT_TRUE(twice.said("second 0")) << twice.err;
    EXPECT_NE(twice.err.find("Cannot instantiate more than one instance of CrashReporter."),
              std::string::npos)
        << twice.err;
    EXPECT_EQ(reportsIn("active"), 1u);
}

}  // namespace
}  // namespace pex
