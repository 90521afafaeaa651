#include "Tools/ExclusiveSelectionGroup.h"

namespace pex {

void ExclusiveSelectionGroup::setViews(const std::vector<CustomButtonView*>& views) {
    views_.assign(views.begin(), views.end());
    if (initiallySelectedIndex && *initiallySelectedIndex >= 0 &&
        static_cast<std::size_t>(*initiallySelectedIndex) < views_.size()) {
        if (CustomButtonView* chosen = views_[static_cast<std::size_t>(*initiallySelectedIndex)]) {
            chosen->markSelected(true);
        }
    }
    const std::weak_ptr<ExclusiveSelectionGroup> group = weak_from_this();
    for (CustomButtonView* view : views) {
        if (!view) continue;
        view->onTapAction = [group, tile = QPointer<CustomButtonView>(view)] {
            if (auto self = group.lock(); self && tile) self->select(tile);
        };
    }
}

void ExclusiveSelectionGroup::select(CustomButtonView* view) {
    for (const auto& member : views_) {
        if (member) member->markSelected(false);
    }
    if (view) view->markSelected(true);
    if (seletRowTapAction && view) seletRowTapAction(view->title());
}

}  // namespace pex
