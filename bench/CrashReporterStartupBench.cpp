// The urgent path of a launch after an early crash: from configuring the SDK to the crash
// report's event being in the telemetry store (its report folder removed). Each iteration
// crashes a child program once, then times its next launch from inside that launch; settings
// and uploads go to the stand-in service on 127.0.0.1.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "standin-service/CrashSettingsServer.h"
#include "standin-service/StandinService.h"
#include "standin-service/TelemetryServer.h"
#include "support/ChildLauncher.h"

namespace {

namespace fs = std::filesystem;

// Runs the child with `steps` in the home `home`; its standard output.
std::string runChild(const fs::path& home, const std::string& origin,
                     const std::vector<std::string>& steps) {
    int out[2];
    if (pipe(out) != 0) return {};
    pex::test::ChildLaunch launch{CRS_REPORTER_CHILD, {(home / "bundle").string(), origin}};
    launch.arguments.insert(launch.arguments.end(), steps.begin(), steps.end());
    launch.environment = {{"HOME", home.string()},
                          {"XDG_CACHE_HOME", (home / ".cache").string()},
                          {"XDG_CONFIG_HOME", (home / ".config").string()},
                          {"XDG_DATA_HOME", (home / ".local/share").string()}};
    launch.duplicate(out[1], 1).close(out[0]).close(out[1]).writeTo(2, "/dev/null");
    const pid_t child = pex::test::launchChild(launch);
    close(out[1]);
    if (child < 0) {
        close(out[0]);
        return {};
    }
    std::string text;
    char buffer[1024];
    ssize_t got;
    while ((got = read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, got);
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return text;
}

void BM_ConfigureToCrashEventStored(benchmark::State& state) {
    pex::standin::StandinService service;
    service.start();
    pex::standin::TelemetryServer telemetry(service);
    pex::standin::CrashSettingsServer settings(service);
    const fs::path root =
        fs::temp_directory_path() / ("pexmora-startup-bench-" + std::to_string(getpid()));
    for (auto _ : state) {
        fs::remove_all(root);
        fs::create_directories(root / "bundle");
        FILE* info = std::fopen((root / "bundle" / "Info.plist").c_str(), "w");
        std::fputs(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
            "<key>CFBundleIdentifier</key><string>com.pexmora.crashtest</string>"
            "<key>CFBundleShortVersionString</key><string>1.4</string>"
            "<key>CFBundleVersion</key><string>140</string></dict></plist>\n",
            info);
        std::fclose(info);
        runChild(root, service.origin(), {"crash"});
        const std::string out = runChild(root, service.origin(), {"stored"});
        const std::size_t at = out.find("stored-ns ");
        const long long nanoseconds =
            at == std::string::npos ? -1 : std::stoll(out.substr(at + 10));
        if (nanoseconds < 0) {
            state.SkipWithError("the crash event was not stored");
            break;
        }
        state.SetIterationTime(static_cast<double>(nanoseconds) / 1e9);
    }
    fs::remove_all(root);
}
BENCHMARK(BM_ConfigureToCrashEventStored)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace
