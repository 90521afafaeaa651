#pragma once
// The answer cell of a live interview: one streamed AI answer, numbered ("n:" in the theme
// colour). A painted cell reused under the identifier "AiInterviewAiCellMac".
#include "Page/AIInterviewPages/ConversationCellLayout.h"
#include "platform/appkit/PaintedLabel.h"
#include "platform/appkit/TableCellView.h"

namespace pex {

class AiInterviewAiCellMac : public TableCellView {
  public:
    static constexpr const char* kIdentifier = "AiInterviewAiCellMac";

    AiInterviewAiCellMac();

    PaintedLabel sourceLab;

    // Shows prefix + text, the prefix in the theme colour, in the system font of `points`.
    virtual void setPrefixedText(const QString& prefix, const QString& text, int points);

    const ConversationCellLayout& cellLayout() const { return layout_; }

    int heightForWidth(int width) override;
    void draw(QPainter& painter, const QRect& bounds) override;

  private:
    ConversationCellLayout layout_;
};

}  // namespace pex
