#pragma once
// Why a session start ended without sending its event (or sent it with a fault).
#include <optional>
#include <string>

#include "platform/foundation/Error.h"

namespace pex {

struct BeaconSessionsError {
    enum class Kind {
        SessionInstallationsError,  // carries the installation lookup's error
        DataTransportError,         // carries the transport's error
        SessionSamplingError,
        SessionInstallationsTimeOutError,
        DisabledViaSettingsError,
        DataCollectionError,
        NoDependenciesError,
    };
    Kind kind;
    ErrorRef underlying;  // for the first two kinds

    static BeaconSessionsError of(Kind kind, ErrorRef underlying = nullptr) {
        return {kind, std::move(underlying)};
    }
    // The underlying error's description, for the kinds that carry one.
    std::string underlyingDescription() const {
        return underlying ? underlying->description() : std::string("(none)");
    }
};

// Success (no error) or the reason a session start stopped.
using SessionStartResult = std::optional<BeaconSessionsError>;

}  // namespace pex
