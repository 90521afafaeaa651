#pragma once
// Which stored events of one target a batch takes: empty or absent filters match everything.
#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace pex {

class TXPStorageEventSelector {
  public:
    static TXPStorageEventSelector eventSelectorForTarget(std::int64_t target) {
        return TXPStorageEventSelector(target, std::nullopt, std::nullopt, std::nullopt);
    }
    TXPStorageEventSelector(std::int64_t target, std::optional<std::set<std::string>> eventIDs,
                            std::optional<std::set<std::string>> mappingIDs,
                            std::optional<std::set<std::int64_t>> qosTiers)
        : selectedTarget_(target),
          selectedEventIDs_(std::move(eventIDs)),
          selectedMappingIDs_(std::move(mappingIDs)),
          selectedQosTiers_(std::move(qosTiers)) {}

    std::int64_t selectedTarget() const { return selectedTarget_; }
    const std::optional<std::set<std::string>>& selectedEventIDs() const {
        return selectedEventIDs_;
    }
    const std::optional<std::set<std::string>>& selectedMappingIDs() const {
        return selectedMappingIDs_;
    }
    const std::optional<std::set<std::int64_t>>& selectedQosTiers() const {
        return selectedQosTiers_;
    }

  private:
    std::int64_t selectedTarget_;
    std::optional<std::set<std::string>> selectedEventIDs_;
    std::optional<std::set<std::string>> selectedMappingIDs_;
    std::optional<std::set<std::int64_t>> selectedQosTiers_;
};

}  // namespace pex
