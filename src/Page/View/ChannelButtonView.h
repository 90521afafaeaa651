#pragma once
// One service line in the line list: the selectable tile of CustomButtonView with the line's
// name set a little left of centre and its latency after it, in a smaller coloured font and
// raised. A click runs `onTapAction`.
#include <QLabel>

#include "Tools/CustomButtonView.h"

namespace pex {

class ChannelButtonView : public CustomButtonView {
    Q_OBJECT
  public:
    static constexpr int kTitleLeftOfCentre = 15;
    static constexpr int kSubtitleRaise = 8;
    // Between the name and its note, as a label's text inset leaves it.
    static constexpr int kSubtitleGap = 3;
    // The note's top stays this far inside the tile, clear of its 1-point border.
    static constexpr int kBorderClearance = 3;

    explicit ChannelButtonView(QWidget* parent = nullptr);

    const QString& subTitle() const { return subTitle_; }
    void setSubTitle(const QString& subTitle);

    const Color& subTitleColor() const { return subTitleColor_; }
    void setSubTitleColor(const Color& color);

    QLabel* subLabel() const { return subLabel_; }

    // New latency text and its colour.
    void updateSubtitle(const QString& text, const Color& color);

  protected:
    void layoutSubviews() override;

  private:
    QString subTitle_;
    Color subTitleColor_;
    QLabel* subLabel_;
};

}  // namespace pex
