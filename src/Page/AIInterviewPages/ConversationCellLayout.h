#pragma once
// How a conversation cell stacks its labels, as its layout constraints would: each placed label
// spans the cell's width less 11 on both sides and lies a gap below the one before it (the
// first below the cell's top); the last one may be tied to the cell's bottom by an inset,
// which gives the row its height. A hidden label that is placed still takes its room; a label
// that is not placed takes none.
#include <optional>
#include <utility>
#include <vector>

#include "platform/appkit/PaintedLabel.h"

namespace pex {

class ConversationCellLayout {
  public:
    static constexpr int kSideInset = 11;

    // Removes every placement (the labels lose their constraints).
    void clear();
    void place(PaintedLabel* label, int topGap);
    void setBottomInset(std::optional<int> inset) { bottomInset_ = inset; }

    bool isPlaced(const PaintedLabel* label) const;
    const std::optional<int>& bottomInset() const { return bottomInset_; }

    // Sets each placed label's frame for a cell `width` wide; answers the cell's height.
    int layOut(int width) const;
    // Draws the placed labels that are not hidden, the cell's top left at `origin`.
    void draw(QPainter& painter, QPoint origin) const;

  private:
    std::vector<std::pair<PaintedLabel*, int>> placed_;
    std::optional<int> bottomInset_;
};

}  // namespace pex
