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
