#pragma once
// The update alert of the about page: a dimmed backdrop over the page area with a white card
// showing "发现新版本", an icon, the release text the service sent and a button "去更新". It
// only informs: the close icon, the button and (when the versions differ) a click on the
// backdrop or Esc take it off the page; it opens nothing. The owner keeps the one instance and adds
// it again for a later reply. Clicks never reach the page underneath.
#include <QLabel>
#include <optional>

#include "Tools/CustomButton.h"
#include "Tools/DimmedCardTipView.h"
#include "Tools/ImageView.h"
#include "service/CheckVersionModel.h"

namespace pex {

class VersionForceAlertView : public DimmedCardTipView {
    Q_OBJECT
  public:
    static constexpr int kCardWidth = 397;
    static constexpr int kCardHeight = 255;

    explicit VersionForceAlertView(QWidget* parent = nullptr);

    std::optional<CheckVersionModel> model;

    // Fills the alert from `model`: the release text and the second icon; when the two
    // versions of the model differ, a click on the backdrop closes the alert too.
    void configure();

    // Every way out: takes the alert out of its superview, keeping model and views.
    void didTap1();
    // Not connected to anything: didTap does nothing, bgTap (inherited) writes "111".
    void didTap();

    QLabel* tip1Lab() const { return tip1Lab_; }
    ImageView* bgImg() const { return bgImg_; }
    ImageView* iconImg() const { return iconImg_; }
    ImageView* closeImg() const { return closeImg_; }
    QLabel* tipLab() const { return tipLab_; }
    CustomButton* sureBtn() const { return sureBtn_; }
    // The icon's picture name, "tishi_l" until configure shows "tishi_r".
    const QString& iconName() const { return iconName_; }
    bool backdropCloses() const { return backdropCloses_; }

  protected:
    void layoutCard() override;

  private:
    void setIcon(const QString& name);

    QLabel* tip1Lab_;
    ImageView* bgImg_;
    ImageView* iconImg_;
    ImageView* closeImg_;
    QLabel* tipLab_;
    CustomButton* sureBtn_;
    QString iconName_;
    bool backdropCloses_ = false;
};

}  // namespace pex
