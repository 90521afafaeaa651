#pragma once
// The "版本信息" page: the logo, the product name and the installed version, and a version
// check against the service. The check's button "检查最新版本" is built but stays hidden, so
// users never start the check from here. A check whose reply names a version newer than the
// installed one shows the update alert over the page; otherwise the user is told the
// installed version is the latest.
#include <QLabel>
#include <QPointer>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "Page/About/VersionForceAlertView.h"
#include "Tools/BaseViewController.h"
#include "Tools/CustomButton.h"
#include "platform/foundation/Bundle.h"

namespace pex {

class AboutMeViewController : public BaseViewController {
    Q_OBJECT
  public:
    explicit AboutMeViewController(QObject* parent = nullptr);
    ~AboutMeViewController() override;

    // The check button's action: asks the service for its latest version.
    void checkForUpdates();
    // The reply of the check (the service client's three outcome values).
    void handleVersionReply(std::optional<bool> failed, const std::optional<nlohmann::json>& reply);

    // Each showing: "当前版本：" and the installed version ("V1.0.0" stays when the bundle
    // names none).
    void viewWillAppear();

    // Where the installed version is read; the application's own bundle unless replaced.
    void setBundle(Bundle bundle) { bundle_ = std::move(bundle); }

    CustomButton* sureBtn();
    VersionForceAlertView* tipView();
    QLabel* versionLabel() const { return versionLabel_.data(); }

  protected:
    void setupUI() override;
    void setupConstraints() override;

  private:
    void showLatestVersionAlert();
    void showUpdateAlert(const CheckVersionModel& model);

    QPointer<CustomButton> sureBtn_;
    QPointer<VersionForceAlertView> tipView_;
    QPointer<QLabel> versionLabel_;
    QPointer<QWidget> stack_;
    Bundle bundle_ = Bundle::main();
};

}  // namespace pex
