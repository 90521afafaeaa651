#pragma once
// Makes the ChannelButtonViews of one line list mutually exclusive: a click on one selects it,
// clears the others and reports the choice by title and by position. Create it as a shared
// object: its members hold it weakly, so a member that outlives its group ignores clicks.
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Page/View/ChannelButtonView.h"

namespace pex {

class ChannelSelectionGroup : public std::enable_shared_from_this<ChannelSelectionGroup> {
  public:
    explicit ChannelSelectionGroup(std::optional<int> initiallySelectedIndex = std::nullopt)
        : initiallySelectedIndex(initiallySelectedIndex) {}

    std::function<void(const QString& title)> seletRowTapAction;
    std::function<void(int index)> seletIndexTapAction;
    std::optional<int> initiallySelectedIndex;

    const std::vector<QPointer<ChannelButtonView>>& views() const { return views_; }

    // Sets the members; the member at initiallySelectedIndex (when 0 ≤ index < count) is
    // marked selected without a report, the others keep their look; every member's click
    // selects it through this group.
    void configure(const std::vector<ChannelButtonView*>& views);

    // Removes every member from the screen (and deletes it) and empties the group.
    void clear();

    // Selects `view` and reports its title and position. A view that is not a member changes
    // nothing and is not reported.
    void select(ChannelButtonView* view);

  private:
    std::vector<QPointer<ChannelButtonView>> views_;
};

}  // namespace pex
