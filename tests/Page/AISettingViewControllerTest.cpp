// The AI settings page against the local stand-in service: choices stored by read-modify-write,
// the position editor, the résumé upload (credential → picker → provider upload → bind) with
// the file picker and the page's alerts replaced, and the deletion.
#include "Page/AIInterviewPages/AISettingViewController.h"

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QMainWindow>
#include <QPointer>
#include <fstream>

#include "PageFixture.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "platform/appkit/Alert.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/appkit/OpenPanel.h"
#include "platform/foundation/DeploymentSettings.h"
#include "service/DefaultsKey.h"
#include "service/SettingsStore.h"
#include "service/UserBaseModel.h"
#include "standin-service/StandinState.h"
#include "support/AnimationFrames.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

using nlohmann::json;
using standin::Fault;
using standin::Reply;

const DefaultsKey<AIInterviewModel> kSettings(SettingsKeys::aiInterviewSetModel);
const DefaultsKey<UserBaseModel> kUser(SettingsKeys::userInfo);

std::optional<AIInterviewModel> stored() {
    return SettingsStore::record(kSettings);
}
void store(const AIInterviewModel& record) {
    SettingsStore::setRecord(std::optional<AIInterviewModel>(record), kSettings);
}

class AISettingPage : public test::PageFixture {
  protected:
    AISettingPage() : keyWindow_(&window_) {
        Alert::setModalHandlerForTesting([this](const Alert& alert) {
            pageAlerts_.push_back(
                (alert.messageText + " | " + alert.informativeText).toStdString());
            EXPECT_EQ(alert.buttons(), QStringList{QStringLiteral("确定")});
            EXPECT_EQ(alert.alertStyle, Alert::Style::informational);
            return Alert::firstButtonReturn;
        });
        OpenPanel::setHandlerForTesting([this](const OpenPanel& panel, OpenPanel::Completion done) {
            panels_.push_back(panel);
            done(pickerAnswer_.has_value() ? OpenPanel::Response::ok : OpenPanel::Response::cancel,
                 pickerAnswer_);
        });
    }
    ~AISettingPage() override {
        settleReplies();
        delete page_;
        Alert::setModalHandlerForTesting(nullptr);
        OpenPanel::setHandlerForTesting(nullptr);
    }

    AISettingViewController* openPage() {
        page_ = new AISettingViewController;
        window_.setCentralWidget(page_->view());
        window_.resize(1000, 620);
        window_.show();
        return page_;
    }
    void advance() { test::advanceInFrames(clock_.clock(), std::chrono::milliseconds(300)); }
    std::vector<bool> selected(const std::vector<CustomButtonView*>& buttons) const {
        std::vector<bool> result;
        for (auto* button : buttons) result.push_back(button->isSelected());
        return result;
    }
    std::filesystem::path makeFile(const std::string& name, std::size_t bytes) {
        const auto path = root() / name;
        std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
        return path;
    }
    // Starts the upload from the card and waits until every request of the flow is answered.
    void uploadThroughTheCard() {
        const int uploadsBefore = uploadsEnded();
        const std::size_t panelsBefore = panels_.size();
        test::click(page_->updateResumeView(), QPoint(20, 20));
        ASSERT_TRUE(settleReplies());
        // The upload logs no request line of the service client, only its outcome.
        if (panels_.size() > panelsBefore && pickerAnswer_) {
            ASSERT_TRUE(test::runMainUntil([&] { return uploadsEnded() > uploadsBefore; }));
        }
        // Bind is sent from the upload's completion; wait for its reply too.
        ASSERT_TRUE(settleReplies());
    }
    int uploadsEnded() const {
        return console_.linesStartingWith("✅ 上传成功") + console_.linesStartingWith("❌ 上传失败");
    }

    ScopedManualClock clock_;
    QMainWindow window_;
    ScopedKeyWindow keyWindow_;
    AISettingViewController* page_ = nullptr;
    std::vector<std::string> pageAlerts_;
    std::vector<OpenPanel> panels_;
    std::optional<std::filesystem::path> pickerAnswer_;
};

TEST_F(AISettingPage, ChoicesChangeOnlyTheirOwnFieldOfTheStoredRecord) {
    AIInterviewModel record = AIInterviewModel::defaultRecord();
    record.positioname = "测试工程师";
    record.deviceType = 0;
    record.answerFontSize = 18;
    store(record);
    openPage();
    EXPECT_EQ(selected(page_->deviceButtons()), (std::vector<bool>{true, false}));
    EXPECT_EQ(selected(page_->fontButtons()),
              (std::vector<bool>{false, false, true, false, false, false}));
    EXPECT_EQ(page_->fontShowLab()->textField()->font().pixelSize(), 18);
    EXPECT_EQ(page_->fontShowLab()->textField()->text(), QStringLiteral("Hi,Pexmora"));

    // The setup page stores its own choices after this page was built.
    record.modelType = 1;
    record.generateAnswerType = 2;
    store(record);
    test::click(page_->deviceButtons()[1]);
    record.deviceType = 1;
    EXPECT_EQ(stored(), record);
    test::click(page_->fontButtons()[4]);
    record.answerFontSize = 22;
    EXPECT_EQ(stored(), record);
    EXPECT_EQ(page_->fontShowLab()->textField()->font().pixelSize(), 22);
    EXPECT_EQ(page_->startAIModel(), record);
    EXPECT_EQ(console_.linesStartingWith("选中了设备: 系统声音"), 1);
    EXPECT_EQ(console_.linesStartingWith("选中了字体: 22"), 1);
}

TEST_F(AISettingPage, WithoutAStoredRecordChoicesStartFromTheDefaultRecord) {
    openPage();
    EXPECT_EQ(selected(page_->deviceButtons()), (std::vector<bool>{true, false}));
    EXPECT_EQ(selected(page_->fontButtons())[0], true);
    EXPECT_EQ(page_->fontShowLab()->textField()->font().pixelSize(), 14);
    EXPECT_FALSE(stored().has_value());  // building the page stores nothing
    test::click(page_->fontButtons()[5]);
    AIInterviewModel expected = AIInterviewModel::defaultRecord();
    expected.answerFontSize = 24;
    EXPECT_EQ(stored(), expected);
}

TEST_F(AISettingPage, StoredValuesOutsideTheButtonsSelectNone) {
    const std::vector<std::pair<std::int64_t, std::optional<int>>> sizes = {{13, 0},
                                                                            {14, 0},
                                                                            {15, 0},
                                                                            {16, 1},
                                                                            {24, 5},
                                                                            {25, 5},
                                                                            {26, std::nullopt},
                                                                            {12, std::nullopt},
                                                                            {-100, std::nullopt}};
    for (const auto& [size, index] : sizes) {
        EXPECT_EQ(AISettingViewController::fontButtonIndex(size), index) << size;
    }
    AIInterviewModel record = AIInterviewModel::defaultRecord();
    record.deviceType = 7;
    record.answerFontSize = 26;
    store(record);
    openPage();
    EXPECT_EQ(selected(page_->deviceButtons()), (std::vector<bool>{false, false}));
    EXPECT_EQ(selected(page_->fontButtons()), std::vector<bool>(6, false));
    test::click(page_->deviceButtons()[1]);
    EXPECT_EQ(stored()->deviceType, 1);
    test::click(page_->deviceButtons()[0]);
    EXPECT_EQ(stored()->deviceType, 0);
    EXPECT_EQ(stored()->answerFontSize, 26);
}

TEST_F(AISettingPage, ThePositionEditorShowsTheStoredTextAndStoresTheWholeNewOne) {
    AIInterviewModel record = AIInterviewModel::defaultRecord();
    record.positioname = "数据分析师";
    record.sequenceType = 1;
    store(record);
    openPage();
    test::click(page_->roleImgV());
    advance();
    EXPECT_EQ(console_.linesStartingWith("Image was clicked!"), 1);
    QPointer<PositionView> editor = page_->positionView();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->size(), QSize(360, 360));
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->roleTextView()->toPlainText(), QStringLiteral("数据分析师"));
    EXPECT_EQ(editor->textContent, QStringLiteral("数据分析师"));
    EXPECT_FALSE(editor->placeholderLabel()->isVisible());

    editor->roleTextView()->clear();
    test::click(editor->sureButton());
    advance();
    record.positioname = "";
    EXPECT_EQ(stored(), record);
    // The pop-up is gone; the editor stays with the page for the next showing.
    ASSERT_TRUE(editor);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(editor->parentWidget(), page_->view());

    page_->imageClicked();
    advance();
    EXPECT_EQ(page_->positionView(), editor.data());
    EXPECT_TRUE(editor->isVisible());
    EXPECT_TRUE(editor->placeholderLabel()->isVisible());
    editor->roleTextView()->setPlainText(QStringLiteral("前端\n实习"));
    test::click(editor->sureButton());
    advance();
    EXPECT_EQ(stored()->positioname, "前端\n实习");
}

TEST_F(AISettingPage, UploadBindsTheResumeAndShowsIt) {
    openPage();
    pickerAnswer_ = makeFile("个人简历.pdf", 2048);
    uploadThroughTheCard();

    ASSERT_EQ(panels_.size(), 1u);
    EXPECT_EQ(panels_[0].title, QStringLiteral("选择简历文件"));
    EXPECT_EQ(panels_[0].allowedFileTypes,
              (QStringList{"pdf", "doc", "docx", "png", "jpg", "jpeg"}));
    EXPECT_FALSE(panels_[0].allowsMultipleSelection);
    EXPECT_FALSE(panels_[0].canChooseDirectories);

    const auto uploads = service_.requests(HttpDatas::kUploadPath);
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].header("Authorization"), "Bearer " + page_->updateToken());
    EXPECT_EQ(page_->updateToken().rfind("sk-standin-", 0), 0u);
    EXPECT_EQ(uploads[0].parts.at(0).fileName, "个人简历.pdf");
    EXPECT_EQ(uploads[0].parts.at(0).contentType, "application/pdf");
    EXPECT_EQ(uploads[0].parts.at(0).size, 2048u);

    const auto binds = service_.requests("/user/bind_resume/*");
    ASSERT_EQ(binds.size(), 1u);
    EXPECT_EQ(binds[0].method, "POST");
    const auto account = service_.state().account(kPhone);
    ASSERT_TRUE(account && account->resume);
    EXPECT_EQ(binds[0].route, "/user/bind_resume/" + account->resume->id);
    EXPECT_EQ(account->resume->name, "个人简历.pdf");

    EXPECT_EQ(page_->updateResumeView()->updateLabel()->text(),
              QStringLiteral("已选择文件：个人简历.pdf"));
    EXPECT_TRUE(page_->updateResumeView()->deleteButton()->isVisible());
    EXPECT_EQ(pageAlerts_, std::vector<std::string>{"上传成功 | 文件 个人简历.pdf 已成功上传"});
    EXPECT_EQ(console_.linesStartingWith("📤 准备上传文件：个人简历.pdf"), 1);
    EXPECT_NE(console_.text().find("📦 文件大小：2 KB (2048 字节)"), std::string::npos);
}

TEST_F(AISettingPage, UploadFailuresStopTheFlowWithTheirAlert) {
    openPage();
    pickerAnswer_ = makeFile("cv.docx", 10);
    auto provider = [&](Reply reply) {
        service_.addPath("POST", HttpDatas::kUploadPath, [reply](const auto&) { return reply; });
    };
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::vector<std::string> alerts;
        std::size_t uploads;
    };
    const std::vector<Case> cases = {
        {"no credential",
         [&] { service_.setFault("/ai/token", Fault::serviceError(1, "失败")); },
         {"请求失败 | 无法获取上传凭证"},
         0},
        {"provider rejects the upload",
         [&] { service_.setFault(HttpDatas::kUploadPath, Fault::serverError(true)); },
         {"上传失败 | 请求失败"},
         1},
        {"reply without id",
         [&] {
             provider(Reply::json(200, {{"filename", "cv.docx"}}));
         },
         {"上传失败 | 请稍后重试"},
         1},
        {"id with a slash",
         [&] {
             provider(Reply::json(200, {{"id", "../delete_resume"}}));
         },
         {"上传失败 | 请稍后重试"},
         1},
        {"id with a query",
         [&] {
             provider(Reply::json(200, {{"id", "f?x=1#y"}}));
         },
         {"上传失败 | 请稍后重试"},
         1},
        {"id of dots",
         [&] {
             provider(Reply::json(200, {{"id", ".."}}));
         },
         {"上传失败 | 请稍后重试"},
         1},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        service_.clearFaults();
        service_.clearRequests();
        pageAlerts_.clear();
        test.arrange();
        uploadThroughTheCard();
        EXPECT_EQ(pageAlerts_, test.alerts);
        EXPECT_EQ(service_.requests(HttpDatas::kUploadPath).size(), test.uploads);
        EXPECT_TRUE(service_.requests("/user/bind_resume/*").empty());
        EXPECT_TRUE(service_.requests("/user/delete_resume").empty());
        EXPECT_FALSE(page_->updateResumeView()->deleteButton()->isVisible());
    }
    EXPECT_EQ(panels_.size(), cases.size() - 1);  // no picker without a credential
}

TEST_F(AISettingPage, OnlyARegularNonEmptyFileWithinTheLimitIsSent) {
    openPage();
    DeploymentSettings::current().resumeMaxBytes = 1500;
    const auto pipe = root() / "pipe.pdf";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::filesystem::create_directory(root() / "folder.pdf");
    const struct {
        std::filesystem::path file;
        std::string alert;
    } refused[] = {
        {makeFile("empty.pdf", 0), "上传失败 | 文件是空的，无法上传"},
        {makeFile("big.pdf", 1501), "上传失败 | 文件超过 1.5 KB，无法上传"},
        {pipe, "上传失败 | 只能上传普通文件"},
        {root() / "folder.pdf", "上传失败 | 只能上传普通文件"},
        {"/dev/zero", "上传失败 | 只能上传普通文件"},
        {root() / "missing.pdf", "上传失败 | 文件不存在，无法上传"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.file.string());
        pageAlerts_.clear();
        pickerAnswer_ = c.file;
        uploadThroughTheCard();
        EXPECT_EQ(pageAlerts_, std::vector<std::string>{c.alert});
        EXPECT_TRUE(service_.requests(HttpDatas::kUploadPath).empty());
        EXPECT_EQ(page_->updateResumeView()->updateLabel()->text(), QStringLiteral("上传简历"));
    }
    // A file of exactly the limit goes out.
    pageAlerts_.clear();
    pickerAnswer_ = makeFile("limit.pdf", 1500);
    uploadThroughTheCard();
    EXPECT_EQ(service_.requests(HttpDatas::kUploadPath).size(), 1u);
    EXPECT_EQ(pageAlerts_, std::vector<std::string>{"上传成功 | 文件 limit.pdf 已成功上传"});

    // The upload itself checks again, right before sending.
    std::optional<std::string> message;
    HttpDatas::shared().uploadFile(
        makeFile("grown.pdf", 1501), page_->updateToken(),
        [&](auto, auto, std::optional<std::string> text) { message = text; });
    ASSERT_TRUE(test::runMainUntil([&] { return message.has_value(); }));
    EXPECT_EQ(*message, "文件超过 1.5 KB，无法上传");
    EXPECT_EQ(service_.requests(HttpDatas::kUploadPath).size(), 1u);
}

TEST_F(AISettingPage, AFailedBindKeepsTheChosenNameAndACancelledPickerLeavesNoTrace) {
    openPage();
    // Cancelled picker: the credential stays, nothing else happens.
    uploadThroughTheCard();
    ASSERT_EQ(panels_.size(), 1u);
    EXPECT_FALSE(page_->updateToken().empty());
    EXPECT_EQ(page_->updateResumeView()->updateLabel()->text(), QStringLiteral("上传简历"));
    EXPECT_TRUE(service_.requests(HttpDatas::kUploadPath).empty());
    EXPECT_TRUE(pageAlerts_.empty());

    pickerAnswer_ = makeFile("resume.png", 5);
    service_.setFault("/user/bind_resume/*", Fault::serviceError(1004, "文件不存在"));
    uploadThroughTheCard();
    EXPECT_EQ(service_.requests(HttpDatas::kUploadPath).back().parts.at(0).contentType,
              "image/png");
    EXPECT_EQ(pageAlerts_, std::vector<std::string>{"上传失败 | "});
    EXPECT_EQ(page_->updateResumeView()->updateLabel()->text(),
              QStringLiteral("已选择文件：resume.png"));
    EXPECT_FALSE(page_->updateResumeView()->deleteButton()->isVisible());
    // The service client's own alert follows a moment later.
    clock_.clock().advance(HttpDatas::kAlertDelay);
    EXPECT_TRUE(test::runMainUntil([&] { return !alerts_->messages.empty(); }));
    EXPECT_EQ(alerts_->messages, std::vector<std::string>{"文件不存在"});
}

TEST_F(AISettingPage, TheCardShowsTheStoredResumeAndDeletionClearsIt) {
    UserBaseModel user;
    user.resume = UserResumeInfo{"file-1", "旧简历.docx", "2025-03-01"};
    SettingsStore::setRecord(std::optional<UserBaseModel>(user), kUser);
    openPage();
    EXPECT_EQ(page_->updateResumeView()->updateLabel()->text(),
              QStringLiteral("已选择文件：旧简历.docx"));
    EXPECT_TRUE(page_->updateResumeView()->deleteButton()->isVisible());

    service_.setFault("/user/delete_resume", Fault::serviceError(1, "删除失败"));
    test::click(page_->updateResumeView()->deleteButton());
    ASSERT_TRUE(settleReplies());
    EXPECT_TRUE(pageAlerts_.empty());
    EXPECT_TRUE(page_->updateResumeView()->deleteButton()->isVisible());

    service_.clearFaults();
    test::click(page_->updateResumeView()->deleteButton());
    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(service_.requests("/user/delete_resume").size(), 2u);
    EXPECT_EQ(service_.requests("/user/delete_resume")[1].method, "GET");
    EXPECT_EQ(pageAlerts_, std::vector<std::string>{"删除成功 | "});
    EXPECT_FALSE(page_->updateResumeView()->deleteButton()->isVisible());
    EXPECT_EQ(page_->updateResumeView()->updateLabel()->text(), QStringLiteral("上传简历"));

    // A profile whose résumé has no name hides the delete button on the next appearance.
    user.resume->resume_name.clear();
    SettingsStore::setRecord(std::optional<UserBaseModel>(user), kUser);
    page_->updateResumeView()->deleteButton()->show();
    page_->refreshResumeCard();
    EXPECT_FALSE(page_->updateResumeView()->deleteButton()->isVisible());
}

TEST(AISettingFileIds, OnlyPlainSegmentsAreAccepted) {
    for (const char* id : {"file-fe-abc123", "file_1.pdf", "A-Z.0"}) {
        EXPECT_TRUE(AISettingViewController::isSafeFileId(id)) << id;
    }
    for (const char* id : {"", ".", "..", "a/b", "a?b", "a#b", "a b", "%2e%2e", "文件"}) {
        EXPECT_FALSE(AISettingViewController::isSafeFileId(id)) << id;
    }
}

}  // namespace
}  // namespace pex
