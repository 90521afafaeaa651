#pragma once
// The 50-point bar across the top of the main window: the logo, the product name and its
// tagline, and a hidden mode button that opens the interview-type card. Each bar, as it is
// made, sets the signed-in user's type on the service to 4 ("面试助攻").
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"

namespace pex {

class InterviewTypeView;

class TopBarView : public LayerBackedView {
    Q_OBJECT
  public:
    static constexpr int kHeight = 50;
    static constexpr int kUserType = 4;
    static constexpr const char* kChangeUserTypePath = "/user/change_user_type/";

    explicit TopBarView(QWidget* parent = nullptr);
    ~TopBarView() override;

    // The card, made on first use (400 × 430, corner radius 10). The pop-up that shows it
    // deletes it when it closes; the next use makes a new one.
    InterviewTypeView* interviewTypeView();
    ImageView* iconImageView() const { return iconImageView_; }
    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* subTitleLabel() const { return subTitleLabel_; }
    QWidget* titleStack() const { return titleStack_; }
    QPushButton* modeSwithButton() const { return modeSwithButton_; }

    void setupTopBar();
    // The mode button's action: shows the card over the key window and, on a choice, sends
    // the user type 4 again.
    void modeSwithButtonClicked();
    void showTypeChooser();
    void changeUserType(int type);

  protected:
    void layoutSubviews() override;

  private:
    QPointer<InterviewTypeView> interviewTypeView_;
    ImageView* iconImageView_;
    QLabel* titleLabel_;
    QLabel* subTitleLabel_;
    QWidget* titleStack_;
    QPushButton* modeSwithButton_;
};

}  // namespace pex
