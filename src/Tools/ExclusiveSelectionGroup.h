#pragma once
// Binds CustomButtonView tiles into a single choice: a click on a tile makes it the chosen
// one, clears the others and reports its title. Create it as a shared object (the tiles hold
// it weakly, so a tile that outlives its group ignores clicks), give it its tiles with
// setViews, then set the callback.
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Tools/CustomButtonView.h"

namespace pex {

class ExclusiveSelectionGroup : public std::enable_shared_from_this<ExclusiveSelectionGroup> {
  public:
    explicit ExclusiveSelectionGroup(std::optional<int> initiallySelectedIndex = std::nullopt)
        : initiallySelectedIndex(initiallySelectedIndex) {}

    std::function<void(const QString& title)> seletRowTapAction;
    std::optional<int> initiallySelectedIndex;

    const std::vector<QPointer<CustomButtonView>>& views() const { return views_; }

    // Stores the tiles, gives the initially chosen one (when the index names a tile) the
    // chosen look without reporting it, and takes over every tile's onTapAction.
    void setViews(const std::vector<CustomButtonView*>& views);

    // Makes `view` the chosen tile (the others plain) and reports its title. Choosing the tile
    // already chosen reports it again.
    void select(CustomButtonView* view);

  private:
    std::vector<QPointer<CustomButtonView>> views_;
};

}  // namespace pex
