#pragma once
// One service line in the line list: a small rounded box with the line's name, its latency
// in a smaller coloured font raised after the name, and a selection mark in the corner. A
// click runs `onTapAction`.
#include <QLabel>
#include <QPixmap>
#include <functional>
#include <optional>

#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"

namespace pex {

class ChannelButtonView : public LayerBackedView {
    Q_OBJECT
  public:
    static constexpr int kMarkSide = 16;
    static constexpr int kTitleLeftOfCentre = 15;
    static constexpr int kSubtitleRaise = 8;

    explicit ChannelButtonView(QWidget* parent = nullptr);

    bool isSelected() const { return isSelected_; }

    const QString& title() const { return title_; }
    void setTitle(const QString& title);

    const QString& subTitle() const { return subTitle_; }
    void setSubTitle(const QString& subTitle);

    const Color& subTitleColor() const { return subTitleColor_; }
    void setSubTitleColor(const Color& color);

    const std::optional<QPixmap>& image() const { return image_; }
    void setImage(std::optional<QPixmap> image);

    std::function<void()> onTapAction;

    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* subLabel() const { return subLabel_; }
    ImageView* imageView() const { return imageView_; }

    // New latency text and its colour.
    void updateSubtitle(const QString& text, const Color& color);

    // The click action: runs onTapAction when set.
    void viewTapped();

    // The chosen look (fill 0xD6F2EC, mark shown, no border) or the plain one (no fill, mark
    // hidden, 1-point grey border).
    void markSelected(bool selected);

    static Color selectedFillColor();

  protected:
    void drawContents(QPainter& painter, const QRect& dirtyRect) override;
    void layoutSubviews() override;

  private:
    bool isSelected_ = false;
    QString title_ = QStringLiteral("Button");
    QString subTitle_;
    Color subTitleColor_;
    std::optional<QPixmap> image_;
    QLabel* titleLabel_;
    QLabel* subLabel_;
    ImageView* imageView_;
};

}  // namespace pex
