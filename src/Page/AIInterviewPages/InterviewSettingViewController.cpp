#include "Page/AIInterviewPages/InterviewSettingViewController.h"

#include "Page/PageTitleLabel.h"

namespace pex {

InterviewSettingViewController::InterviewSettingViewController(QObject* parent)
    : BaseViewController(parent) {
    setTitle(QStringLiteral("面试助攻"));
}

void InterviewSettingViewController::setupUI() {
    BaseViewController::setupUI();
    addPageTitleLabel(view(), title());
}

}  // namespace pex
