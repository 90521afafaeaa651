// The stand-in service as a program, for the demo: every host of the application (service,
// static files, captcha page, AI provider) on one port of 127.0.0.1.
// The speech endpoint (WebSocket) listens on a port of its own.
//   standin-service --port 18620 [--static-port N] [--provider-port N] [--speech-port N]
//                   [--control]
// "--control" adds the paths through which a test steers it and reads its requests
// (ControlPaths.h).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <pthread.h>
#include <signal.h>

#include <QCoreApplication>

#include "standin-service/ControlPaths.h"
#include "standin-service/CrashSettingsServer.h"
#include "standin-service/InstallationsServer.h"
#include "standin-service/SpeechSocketServer.h"
#include "standin-service/StandinService.h"
#include "standin-service/StandinState.h"
#include "standin-service/TelemetryServer.h"

namespace {

// The stand-in's own file of the tokens it handed out, so that "自动登录" outlives a restart of
// the demo: under the user's state folder.
std::string tokenFile() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') {
        return std::string(state) + "/pexmora-standin/tokens.json";
    }
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/state/pexmora-standin/tokens.json";
}

int portArgument(const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return (end && *end == '\0' && value > 0 && value < 65536) ? static_cast<int>(value) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    int extraPorts[2] = {0, 0};
    int speechPort = 0;
    bool control = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--control") == 0) {
            control = true;
            continue;
        }
        const bool hasValue = i + 1 < argc;
        int* target = nullptr;
        if (std::strcmp(argv[i], "--port") == 0) target = &port;
        if (std::strcmp(argv[i], "--static-port") == 0) target = &extraPorts[0];
        if (std::strcmp(argv[i], "--provider-port") == 0) target = &extraPorts[1];
        if (std::strcmp(argv[i], "--speech-port") == 0) target = &speechPort;
        if (!target || !hasValue || (*target = portArgument(argv[++i])) < 0) {
            std::fprintf(stderr,
                         "usage: %s --port N [--static-port N] [--provider-port N] "
                         "[--speech-port N] [--control]\n",
                         argv[0]);
            return 2;
        }
    }

    // SIGINT and SIGTERM are blocked before the server's threads start, so that they inherit
    // the mask and the signal can only be taken by the sigwait below; waiting with pause()
    // instead could miss a signal that arrives just before it or lands on another thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // The speech endpoint's thread runs a Qt event loop, which wants an application object.
    QCoreApplication application(argc, argv);

    pex::standin::StandinService::Options options;
    options.streamPace = std::chrono::milliseconds(120);
    options.logRequests = true;
    pex::standin::StandinService service(options);
    // The application's telemetry uploads come here in the demo.
    pex::standin::TelemetryServer telemetry(service);
    // So are the installations requests of the telemetry SDK.
    pex::standin::InstallationsServer installations(service);
    // And the crash reporter's settings downloads.
    pex::standin::CrashSettingsServer crashSettings(service);
    if (control) pex::standin::registerControlPaths(service);
    if (!service.state().keepTokensIn(tokenFile())) {
        std::fprintf(stderr, "standin-service: %s is unreadable; starting without its tokens\n",
                     tokenFile().c_str());
    }
    // QR orders pay themselves at the third status request (about ten seconds), so the demo
    // shows the whole purchase without a phone.
    service.state().with([](pex::standin::StandinState::Data& data) {
        data.autoPayAfterPolls = 3;
        return 0;
    });
    const int bound = service.start(port);
    if (bound == 0) {
        std::fprintf(stderr, "standin-service: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    for (int extra : extraPorts) {
        if (extra && service.addListener(extra) == 0) {
            std::fprintf(stderr, "standin-service: cannot listen on 127.0.0.1:%d\n", extra);
            return 1;
        }
    }
    pex::standin::SpeechSocketServer speech;
    if (speechPort && speech.start(speechPort) == 0) {
        std::fprintf(stderr, "standin-service: cannot listen on 127.0.0.1:%d\n", speechPort);
        return 1;
    }
    std::printf("本地模拟服务已启动：%s （演示账号 %s，密码 %s，短信验证码 %s）\n",
                service.apiBase().c_str(), pex::standin::StandinState::kDemoPhone,
                pex::standin::StandinState::kDemoPassword, pex::standin::StandinState::kSmsCode);
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    speech.stop();
    service.stop();
    return 0;
}
