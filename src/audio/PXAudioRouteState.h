#pragma once
// The user's default devices as they were before the router changed them, and what the router
// added to the sound server, kept on disk for as long as a session's routing is in place. The
// routing lives in the sound server, not in the process: after a crash or a kill the next run
// reads this file to put the user's devices back.
//
// The file is small JSON, private to the user (0600) and replaced atomically, so a crash while
// it is written leaves the old content or the new one, never a mix.
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace pex {

struct PXAudioRouteState {
    std::optional<std::string> outputUID;     // the default output to put back
    std::optional<std::string> inputUID;      // the default input to put back
    std::optional<std::string> aggregateUID;  // the aggregate device the router created

    bool operator==(const PXAudioRouteState&) const = default;

    // Where the application keeps it: in its support folder.
    static std::filesystem::path defaultFile();

    // Nothing when there is no file. A file that cannot be read or parsed is still a leftover
    // of an earlier run: it gives an empty state.
    static std::optional<PXAudioRouteState> load(const std::filesystem::path& file);
    std::error_code save(const std::filesystem::path& file) const;
    static void remove(const std::filesystem::path& file);
};

}  // namespace pex
