#include "Page/AIInterviewPages/ConversationCellLayout.h"

#include <algorithm>

namespace pex {

void ConversationCellLayout::clear() {
    placed_.clear();
    bottomInset_.reset();
}

void ConversationCellLayout::place(PaintedLabel* label, int topGap) {
    placed_.emplace_back(label, topGap);
}

bool ConversationCellLayout::isPlaced(const PaintedLabel* label) const {
    return std::any_of(placed_.begin(), placed_.end(),
                       [label](const auto& entry) { return entry.first == label; });
}

int ConversationCellLayout::layOut(int width) const {
    const int labelWidth = std::max(1, width - 2 * kSideInset);
    int y = 0;
    for (const auto& [label, gap] : placed_) {
        y += gap;
        const int height = label->heightForWidth(labelWidth);
        label->setFrame(QRect(kSideInset, y, labelWidth, height));
        y += height;
    }
    return y + bottomInset_.value_or(0);
}

void ConversationCellLayout::draw(QPainter& painter, QPoint origin) const {
    for (const auto& entry : placed_) entry.first->draw(painter, origin);
}

}  // namespace pex
