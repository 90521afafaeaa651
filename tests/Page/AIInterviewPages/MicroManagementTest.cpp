// The microphone permission check on the fake permission: for each status the message shown,
// the console line and whether the system is asked; the message goes after 2 s.
#include "audio/MicroManagement.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QWidget>

#include "Tools/StatusHUD/StatusHUD.h"
#include "platform/avfoundation/FakeCaptureAuthorization.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainQueue.h"
#include "purchase/ConsoleCapture.h"
#include "support/TestSupport.h"

namespace pex::test {
namespace {

QString hudText() {
    StatusHUD& hud = StatusHUD::shared();
    return hud.isHidden() || !hud.statusLabel() ? QString() : hud.statusLabel()->text();
}

class MicroManagementTest : public ::testing::Test {
  protected:
    MicroManagementTest() {
        MainQueue::adoptCurrentThreadAsMain();
        host_.resize(400, 300);
        host_.show();
        StatusHUD::shared().containerView = &host_;
    }
    ~MicroManagementTest() override {
        StatusHUD::shared().hide(false);
        StatusHUD::shared().containerView = nullptr;
        CaptureAuthorization::install(nullptr);
        MainQueue::drain();
    }

    ScopedManualClock clock_;
    QWidget host_;
};

TEST_F(MicroManagementTest, EachStatusIsToldAsItShouldBe) {
    struct Case {
        AuthorizationStatus status;
        const char* message;  // "" for none
        const char* line;     // "" for none
        int requests;
    };
    const Case cases[] = {
        {AuthorizationStatus::notDetermined, "没有麦克风权限", "没有麦克风权限\n", 1},
        {AuthorizationStatus::restricted, "没有授权麦克风", "没有授权麦克风\n", 0},
        {AuthorizationStatus::denied, "没有授权", "没有授权\n", 0},
        {AuthorizationStatus::authorized, "", "已经授权\n", 0},
        {static_cast<AuthorizationStatus>(7), "", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.status));
        StatusHUD::shared().hide(false);
        const auto permission = FakeCaptureAuthorization::install(c.status);
        ConsoleCapture console;
        MicroManagement::checkMicrophoneAuthorization();
        EXPECT_EQ(hudText(), QString::fromUtf8(c.message));
        if (*c.message) {
            EXPECT_EQ(StatusHUD::shared().mode().kind, StatusHUDMode::error);
        }
        EXPECT_EQ(console.text(), c.line);
        EXPECT_EQ(permission->requestCount(), c.requests);
    }
}

TEST_F(MicroManagementTest, TheMessageGoesAfterTwoSecondsAndTheAnswerIsNotAwaited) {
    const auto permission = FakeCaptureAuthorization::install(AuthorizationStatus::notDetermined);
    MicroManagement::checkMicrophoneAuthorization();
    EXPECT_EQ(permission->requestCount(), 1);
    clock_.clock().advance(std::chrono::milliseconds(1900));
    MainQueue::drain();
    EXPECT_EQ(hudText(), QStringLiteral("没有麦克风权限"));
    clock_.clock().advance(std::chrono::milliseconds(100));
    // Then it fades out.
    ASSERT_TRUE(runMainUntil([&] {
        clock_.clock().advance(std::chrono::milliseconds(20));
        return StatusHUD::shared().isHidden();
    }));
    // A late answer changes nothing.
    permission->answerRequests(false);
    EXPECT_TRUE(StatusHUD::shared().isHidden());
}

TEST(CaptureAuthorization, TheSystemNeedsNoPermissionToRecord) {
    CaptureAuthorization::install(nullptr);
    EXPECT_EQ(CaptureAuthorization::current()->authorizationStatusForAudio(),
              AuthorizationStatus::authorized);
    std::optional<bool> answer;
    CaptureAuthorization::current()->requestAccessForAudio([&](bool granted) { answer = granted; });
    EXPECT_EQ(answer, true);
}

}  // namespace
}  // namespace pex::test
