#pragma once
// Events taken out of storage for one upload. Events are kept by id, so two different events
// can never stand for one another.
#include <cstdint>
#include <map>
#include <string>

#include "BeaconTransport/TXPLibrary/TXPEvent.h"

namespace pex {

using TXPEventSet = std::map<std::string, TXPEvent>;  // by event id

inline void TXPEventSetAdd(TXPEventSet& set, TXPEvent event) {
    std::string id = event.eventID();
    set.insert_or_assign(std::move(id), std::move(event));
}

struct TXPUploadBatch {
    std::int64_t batchID = 0;
    TXPEventSet events;
};

}  // namespace pex
