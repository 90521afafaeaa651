#pragma once
// The account page ("个人中心"): the signed-in user's phone number, user code and remaining
// interview time, copying the user code, the interview history panel, the consumption and
// top-up record windows, the customer-service pop-up, account deletion and the service-line
// list. Each time the page comes on screen it shows the stored profile at once and then
// refreshes it from the service ("/user/info").
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <optional>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "Page/History/HistoryView.h"
#include "Page/View/NetChannelView.h"
#include "Tools/CommonTipView.h"
#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"
#include "platform/appkit/ViewController.h"
#include "platform/foundation/NotificationCenter.h"
#include "service/UserBaseModel.h"

namespace pex {

class MineViewController : public ViewController {
    Q_OBJECT
  public:
    static constexpr int kTimeCardHeight = 110;
    static constexpr int kFilledTimeCardHeight = 80;

    explicit MineViewController(QObject* parent = nullptr);
    ~MineViewController() override;

    // Shows the stored profile, asks the service for the current one and reloads the service
    // lines. Runs each time the page's view comes on screen.
    void requestUserInfo();
    void updateUserLabels(const UserBaseModel& model);
    // "InterviewTypeNotification": an integer "type" in the user info asks for the profile.
    void handleMyNotification(const Notification& notification);
    // Puts the user code on the clipboard; without a user code nothing happens.
    void copyTap();
    // Dispatches a record button by its title.
    void recordButtonTapped(QPushButton* button);

    void confirmLogoff();
    void requestLogoff();
    void showOrderRecords();
    void showConsumeRecords();
    void showHistory();
    void showContact();

    // State and views, for the pages' callers and tests. Views exist once the view is loaded.
    const std::optional<UserBaseModel>& userModel() const { return userModel_; }
    CommonTipView* logoffTipView();
    HistoryView* historyView();
    NetChannelView* netChannelV();
    const std::vector<std::pair<QString, QString>>& recordButtons() const { return recordButtons_; }
    // Record windows still open, oldest first.
    std::vector<QWidget*> openWindows() const;

    ImageView* avatarImageView() const { return avatarImageView_; }
    QLabel* phoneLabel() const { return phoneLabel_; }
    QLabel* idLabel() const { return idLabel_; }
    QPushButton* copyButton() const { return copyButton_; }
    QLabel* localTitleLabel() const { return localTitleLabel_; }
    QLabel* localTimeLabel() const { return localTimeLabel_; }
    QWidget* localProgress() const { return localProgress_; }
    QLabel* overseasTitleLabel() const { return overseasTitleLabel_; }
    QLabel* overseasTimeLabel() const { return overseasTimeLabel_; }
    QWidget* overseasProgress() const { return overseasProgress_; }
    QWidget* progressContainer() const { return progressContainer_; }
    QWidget* buttonContainer() const { return buttonContainer_; }
    QPushButton* recordButton(const QString& title) const;

  protected:
    void loadView() override;
    void viewDidLoad() override;

  private:
    void buildProfileCard(QWidget* page);
    void buildTimeCard(QWidget* page);
    void buildRecordCard(QWidget* page);
    void buildChannelRow(QWidget* page);
    void layoutPage();
    void layoutProfileCard();
    void layoutTimeCard();
    void layoutRecordCard();

    void sendUserInfoRequest();
    void handleUserInfoReply(std::optional<bool> failed,
                             const std::optional<nlohmann::json>& reply);
    void handleLogoffReply(std::optional<bool> failed, const std::optional<nlohmann::json>& reply);
    void openRecordWindow(ViewController* controller, const QString& title);
    void recordWindowWillClose(QWidget* window);

    QPointer<CommonTipView> logoffTipView_;
    std::optional<UserBaseModel> userModel_;
    ImageView* avatarImageView_ = nullptr;
    QLabel* phoneLabel_ = nullptr;
    QLabel* idLabel_ = nullptr;
    LayerBackedView* buttonContainer_ = nullptr;
    QPointer<HistoryView> historyView_;
    QPushButton* copyButton_ = nullptr;
    QLabel* localTitleLabel_ = nullptr;
    QLabel* localTimeLabel_ = nullptr;
    QWidget* localProgress_ = nullptr;
    QLabel* overseasTitleLabel_ = nullptr;
    QLabel* overseasTimeLabel_ = nullptr;
    QWidget* overseasProgress_ = nullptr;
    LayerBackedView* progressContainer_ = nullptr;
    QPointer<NetChannelView> netChannelV_;
    std::vector<std::pair<QString, QString>> recordButtons_;
    std::vector<QPointer<QWidget>> openWindows_;

    LayerBackedView* profileCard_ = nullptr;
    QLabel* timeHeading_ = nullptr;
    QLabel* recordHeading_ = nullptr;
    QWidget* buttonRow_ = nullptr;
    QLabel* channelHeading_ = nullptr;
    int timeCardHeight_ = kTimeCardHeight;
    ScopedObserver interviewTypeObserver_;
};

}  // namespace pex
