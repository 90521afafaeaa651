// What the crash test build of the application adds to its start: the hosts it talks to are
// moved to the test's stand-in ("PEXMORA_TEST_ORIGIN"), and with "PEXMORA_TEST_CRASH" set the
// application faults on its main thread once crash reporting has started.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "BeaconTransport/cct/TXPEndpoints.h"
#include "beacon-core/installations/BCNInstallationsAPIService.h"
#include "crashreporter/network/CRSSettingsEndpoint.h"
#include "crashreporter/runtime/CRSContext.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/DispatchQueue.h"
#include "sessions/SettingsDownloader.h"

namespace {

// A store to an address the compiler cannot know is null, so it is not removed; the
// undefined-behaviour checks are off here, so it faults.
__attribute__((noinline, no_sanitize("undefined"))) void faultHere() {
    static volatile std::uintptr_t nowhere = 0;
    *reinterpret_cast<volatile int*>(nowhere) = 1;
}

}  // namespace

void pexmoraCrashTestBuildHooks() {
    using namespace pex;
    if (const char* origin = std::getenv("PEXMORA_TEST_ORIGIN"); origin && *origin) {
        if (const auto parsed = Origin::parse(origin)) DeploymentSettings::useSingleOrigin(*parsed);
        TXPEndpoints::setOriginForTesting(std::string(origin));
        BCNInstallationsAPIService::setOriginForTesting(std::string(origin));
        CRSSettingsEndpoint::setOriginForTesting(std::string(origin));
        SettingsDownloader::setOriginForTesting(std::string(origin));
    }
    if (const char* crash = std::getenv("PEXMORA_TEST_CRASH"); crash && *crash) {
        std::thread([] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (!CRSContextIsInitialized() && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            DispatchQueue::main().async([] { faultHere(); });
        }).detach();
    }
}
