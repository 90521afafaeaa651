// A downloaded settings document comes from the network: whatever bytes arrive, the reader
// either refuses them or yields an object that every settings accessor can read, and that
// reads back the same when written out again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crashreporter/network/CRSSettingsDocument.h"
#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/reports/CRSSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto document = CRSSettingsDocument::parse(bytes);
    if (!document) return 0;
    if (!document->is_object()) __builtin_trap();

    static const CRSFileManager fileManager;  // names paths only; no file is touched
    CRSSettings settings(fileManager, {"build", "1.0 (1)"});
    settings.setSettingsDictionary(*document);
    (void)settings.appSettings();
    (void)settings.sessionSettings();
    (void)settings.featuresSettings();
    (void)settings.fabricSettings();
    (void)settings.cacheDurationSeconds();
    (void)settings.errorReportingEnabled();
    (void)settings.customExceptionsEnabled();
    (void)settings.collectReportsEnabled();
    (void)settings.metricKitCollectionEnabled();
    (void)settings.logBufferSize();
    (void)settings.errorLogBufferSize();
    (void)settings.maxCustomExceptions();
    (void)settings.maxCustomKeys();
    (void)settings.onDemandUploadRate();
    (void)settings.onDemandBackoffBase();
    (void)settings.onDemandBackoffStepDuration();
    (void)settings.onDemandThreadSuspensionEnabled();

    // What the reader accepted is saved as it came; written out again it must read the same.
    std::string written;
    try {
        written = document->dump();
    } catch (const nlohmann::json::exception&) {
        __builtin_trap();  // the reader let text through that is not UTF-8
    }
    const auto again = CRSSettingsDocument::parse(written);
    if (!again || *again != *document) __builtin_trap();
    return 0;
}
