#include "Page/View/ChannelSelectionGroup.h"

#include <algorithm>

namespace pex {

void ChannelSelectionGroup::configure(const std::vector<ChannelButtonView*>& views) {
    views_.assign(views.begin(), views.end());
    if (initiallySelectedIndex && *initiallySelectedIndex >= 0 &&
        static_cast<std::size_t>(*initiallySelectedIndex) < views_.size()) {
        if (ChannelButtonView* chosen = views_[static_cast<std::size_t>(*initiallySelectedIndex)]) {
            chosen->markSelected(true);
        }
    }
    const std::weak_ptr<ChannelSelectionGroup> group = weak_from_this();
    for (ChannelButtonView* view : views) {
        if (!view) continue;
        view->onTapAction = [group, member = QPointer<ChannelButtonView>(view)] {
            if (auto self = group.lock(); self && member) self->select(member);
        };
    }
}

void ChannelSelectionGroup::clear() {
    for (const auto& member : views_) {
        if (!member) continue;
        member->hide();
        member->deleteLater();
    }
    views_.clear();
}

void ChannelSelectionGroup::select(ChannelButtonView* view) {
    const auto found = std::find(views_.begin(), views_.end(), view);
    // A former member (after clear) or a stranger would otherwise be reported as line 0.
    if (!view || found == views_.end()) return;
    for (const auto& member : views_) {
        if (member) member->markSelected(false);
    }
    view->markSelected(true);
    if (seletRowTapAction) seletRowTapAction(view->title());
    if (seletIndexTapAction) seletIndexTapAction(static_cast<int>(found - views_.begin()));
}

}  // namespace pex
