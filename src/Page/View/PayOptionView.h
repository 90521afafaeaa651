#pragma once
// One payment method on the purchase page: its icon, its name, one explanatory line and a
// selection mark on the right, on a light grey rounded card. A click flips `isSelected`, shows
// the matching mark and reports the new state through `onClick`; the group it belongs to
// (PayOptionGroupView) then makes it the chosen one. Options are made by their group only.
#include <QLabel>
#include <functional>
#include <optional>

#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"

namespace pex {

class PayOptionView : public LayerBackedView {
    Q_OBJECT
  public:
    static constexpr int kIconSide = 30;
    static constexpr int kMarkSide = 16;

    PayOptionView(const QString& iconName, const QString& title, const QString& subtitle,
                  std::optional<QString> selectedImageName,
                  std::optional<QString> unselectedImageName, QWidget* parent = nullptr);

    ImageView* iconImageView() const { return iconImageView_; }
    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* subtitleLabel() const { return subtitleLabel_; }
    ImageView* rightStatusImageView() const { return rightStatusImageView_; }
    const std::optional<QString>& selectedImageName() const { return selectedImageName_; }
    const std::optional<QString>& unselectedImageName() const { return unselectedImageName_; }

    bool isSelected() const { return isSelected_; }
    // Sets the flag and shows its mark; reports nothing.
    void setSelected(bool selected);

    std::function<void(bool isSelected)> onClick;

    // The click: flips the flag, shows its mark, then calls onClick.
    void handleClick();

  protected:
    void layoutSubviews() override;

  private:
    void showMark();

    ImageView* iconImageView_;
    QLabel* titleLabel_;
    QLabel* subtitleLabel_;
    ImageView* rightStatusImageView_;
    std::optional<QString> selectedImageName_;
    std::optional<QString> unselectedImageName_;
    bool isSelected_ = false;
};

}  // namespace pex
