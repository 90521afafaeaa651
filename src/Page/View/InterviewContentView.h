#pragma once
// One option tile of the interview-type card: a picture, a title, a subtitle and a selection
// mark; a click anywhere on the tile runs `clickHandler`.
#include <QLabel>
#include <functional>

#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"

namespace pex {

class InterviewContentView : public LayerBackedView {
    Q_OBJECT
  public:
    explicit InterviewContentView(QWidget* parent = nullptr);

    std::function<void()> clickHandler;

    ImageView* imageView() const { return imageView_; }
    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* subtitleLabel() const { return subtitleLabel_; }
    ImageView* selectImageView() const { return selectImageView_; }

    // The title's distance from the tile's top: 17 with a subtitle, 26 without.
    int titleTop = 17;

    void handleClick();

  protected:
    void layoutSubviews() override;

  private:
    ImageView* imageView_;
    QLabel* titleLabel_;
    QLabel* subtitleLabel_;
    ImageView* selectImageView_;
};

}  // namespace pex
