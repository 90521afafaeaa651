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

namespace {

namespace fs = std::filesystem;

// Runs the child with `steps` in the home `home`; its standard output.
std::string runChild(const fs::path& home, const std::string& origin,
                     const std::vector<std::string>& steps) {
    int out[2];
    if (pipe(out) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        close(out[0]);
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) dup2(devnull, 2);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
        std::vector<std::string> args{CRS_REPORTER_CHILD, (home / "bundle").string(), origin};
        args.insert(args.end(), steps.begin(), steps.end());
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(CRS_REPORTER_CHILD, argv.data());
        _exit(127);
    }
    close(out[1]);
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
