#pragma once
// The application's own notification names, posted on the default notification centre.
namespace pex::NotificationNames {

// Posted by the interview pages with user info {"message": "打开设置"}; the sidebar then shows
// the AI settings page.
inline constexpr const char* aiSetting = "AiSettingNotification";
// Posted by the interview pages with user info {"message": "去充值"}; the sidebar then shows
// the purchase page.
inline constexpr const char* purchase = "PurchaseNotification";
// Observed by the account and purchase pages; nothing in the application posts it.
inline constexpr const char* interviewType = "InterviewTypeNotification";

}  // namespace pex::NotificationNames
