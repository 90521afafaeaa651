#include "Page/AIInterviewPages/AISettingViewController.h"

#include "Page/PageTitleLabel.h"

namespace pex {

AISettingViewController::AISettingViewController(QObject* parent) : BaseViewController(parent) {
    setTitle(QStringLiteral("面试设置"));
}

void AISettingViewController::setupUI() {
    BaseViewController::setupUI();
    addPageTitleLabel(view(), title());
}

}  // namespace pex
