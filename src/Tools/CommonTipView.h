#pragma once
// The white two-button card that pages show in the centred pop-up host (MYCenterPopView): a
// title, a wrapped content text, a cancel button that only closes the pop-up and a confirm
// button that closes it and then runs `sureBlock`. Pages replace the texts, set sureBlock and
// give the card its size before showing it.
#include <QLabel>
#include <QPushButton>
#include <functional>

#include "Tools/LayerBackedView.h"

namespace pex {

class CommonTipView : public LayerBackedView {
    Q_OBJECT
  public:
    static constexpr int kInset = 23;
    static constexpr int kGap = 16;
    static constexpr int kButtonWidth = 85;
    static constexpr int kButtonHeight = 35;
    static constexpr int kButtonSpacing = 11;

    explicit CommonTipView(QWidget* parent = nullptr);

    std::function<void()> sureBlock;

    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* contentLabel() const { return contentLabel_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QPushButton* sureButton() const { return sureButton_; }

    // The cancel action: closes the pop-up.
    void button1Tap();
    // The confirm action: closes the pop-up, then runs sureBlock when set.
    void button2Tap();

  protected:
    void layoutSubviews() override;

  private:
    QLabel* makeLabel(const Color& color, bool bold, double size);
    QPushButton* makeButton(const QString& title, const Color& background, const Color& tint);

    QLabel* titleLabel_;
    QLabel* contentLabel_;
    QPushButton* cancelButton_;
    QPushButton* sureButton_;
};

}  // namespace pex
