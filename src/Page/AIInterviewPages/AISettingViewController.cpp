#include "Page/AIInterviewPages/AISettingViewController.h"

#include <QEvent>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "Page/ViewAppearance.h"
#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ColorExtension.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/SystemColors.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/Alert.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/appkit/OpenPanel.h"
#include "platform/appkit/SystemFont.h"
#include "service/ConsoleLog.h"
#include "service/DefaultsKey.h"
#include "service/FileSizeText.h"
#include "service/HttpDatas.h"
#include "service/LenientJson.h"
#include "service/SettingsStore.h"
#include "service/UserBaseModel.h"

namespace pex {

namespace {

constexpr int kCardWidth = 350;
constexpr int kCardHeight = 130;
constexpr int kMargin = 16;
constexpr int kSectionLeft = 26;

DefaultsKey<AIInterviewModel> settingsKey() {
    return DefaultsKey<AIInterviewModel>(SettingsKeys::aiInterviewSetModel);
}

QLabel* makePageLabel(const QString& text, double points, QWidget* parent) {
    QLabel* label = makeTextLabel(text, parent);
    label->setFont(systemFont(points));
    setTextColor(label, labelColor());
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

// A size as file managers show it: bytes, then decimal kilo- and megabytes.
// The title of a font button read as a number of points; 16 when it is not one.
double pointsOf(const QString& title) {
    bool ok = false;
    const double points = title.toDouble(&ok);
    return ok && std::isfinite(points) ? points : 16;
}

void placeBelow(QWidget* view, const QWidget* above, int gap, int left, QSize size) {
    view->setGeometry(left, above->geometry().bottom() + 1 + gap, size.width(), size.height());
}

}  // namespace

AISettingViewController::AISettingViewController(QObject* parent) : BaseViewController(parent) {
    setTitle(QStringLiteral("面试设置"));
}

std::optional<int> AISettingViewController::fontButtonIndex(std::int64_t answerFontSize) {
    const std::int64_t index = (answerFontSize - kFirstFontSize) / kFontSizeStep;
    if (index < 0 || index >= kFontButtonCount) return std::nullopt;
    return static_cast<int>(index);
}

bool AISettingViewController::isSafeFileId(const std::string& id) {
    if (id.empty() || id.size() > 256 || id == "." || id == "..") return false;
    for (const unsigned char c : id) {
        const bool allowed = std::isalnum(c) || c == '_' || c == '-' || c == '.';
        if (!allowed) return false;
    }
    return true;
}

AIInterviewModel AISettingViewController::storedRecord() {
    return SettingsStore::record(settingsKey()).value_or(AIInterviewModel::defaultRecord());
}

template <typename Change>
void AISettingViewController::updateStoredRecord(Change change) {
    AIInterviewModel record = storedRecord();
    change(record);
    SettingsStore::setRecord(std::optional<AIInterviewModel>(record), settingsKey());
    startAIModel_ = record;
}

CustomButtonView* AISettingViewController::makeSelectionButton(const QString& title) {
    auto* button = new CustomButtonView(view());
    button->setTitle(title);
    button->setImage(AppImages::named(QStringLiteral("ai_select")));
    return button;
}

void AISettingViewController::setupUI() {
    BaseViewController::setupUI();
    QWidget* page = view();
    startAIModel_ = storedRecord();
    QPointer<AISettingViewController> weak(this);

    roleImgV_ = new ImageView(AppImages::named(QStringLiteral("start_icon")), page);
    roleImgV_->setCursor(Qt::PointingHandCursor);
    ClickGestureRecognizer::attach(roleImgV_, [weak](ClickGestureRecognizer&) {
        if (weak) weak->imageClicked();
    });
    titleLab_ = makePageLabel(QStringLiteral("岗位及角色"), 15, page);
    titleLab_->setAttribute(Qt::WA_TransparentForMouseEvents);  // it lies on the picture
    updateResumeView_ = new UpdateResumeView(page);
    updateResumeView_->updateBlock = [weak] {
        if (weak) weak->uploadResume();
    };
    updateResumeView_->resumeDeleteBlock = [weak] {
        if (weak) weak->deleteResume();
    };
    deviceLab_ = makePageLabel(QStringLiteral("音频输入设备"), 16, page);
    setFontLab_ = makePageLabel(QStringLiteral("字体大小"), 16, page);
    fontShowLab_ = new CustomBacTextField(page);
    fontShowLab_->textField()->setText(QString::fromUtf8(kPreviewText));
    fontShowLab_->textField()->setAlignment(Qt::AlignCenter);
    setTextColor(fontShowLab_->textField(), Color::grey(1));
    fontShowLab_->setBackgroundColor(colorWithHex(0x19CFAE));
    fontShowLab_->setCornerRadius(8);
    // The preview shows the size the answers will have.
    setPreviewSize(static_cast<double>(startAIModel_->answerFontSize));

    deviceSelectionGroup_ = std::make_shared<ExclusiveSelectionGroup>(
        static_cast<int>(std::clamp<std::int64_t>(startAIModel_->deviceType, -1, 2)));
    deviceButtons_ = {makeSelectionButton(QString::fromUtf8(kMicrophone)),
                      makeSelectionButton(QString::fromUtf8(kSystemSound))};
    deviceSelectionGroup_->setViews(deviceButtons_);
    deviceSelectionGroup_->seletRowTapAction = [weak](const QString& title) {
        if (weak) weak->deviceSelected(title);
    };

    fontSelectionGroup_ =
        std::make_shared<ExclusiveSelectionGroup>(fontButtonIndex(startAIModel_->answerFontSize));
    for (int i = 0; i < kFontButtonCount; ++i) {
        fontButtons_.push_back(
            makeSelectionButton(QString::number(kFirstFontSize + i * kFontSizeStep)));
    }
    fontSelectionGroup_->setViews(fontButtons_);
    fontSelectionGroup_->seletRowTapAction = [weak](const QString& title) {
        if (weak) weak->fontSelected(title);
    };

    page->installEventFilter(this);
    ViewAppearance::observe(page, [weak] {
        if (weak) weak->refreshResumeCard();
    });
}

void AISettingViewController::setupConstraints() {
    QWidget* page = view();
    roleImgV_->setGeometry(kMargin, kMargin, kCardWidth, kCardHeight);
    titleLab_->setGeometry(36, 36, titleLab_->sizeHint().width(), titleLab_->sizeHint().height());
    updateResumeView_->setGeometry(roleImgV_->geometry().right() + 1 + kMargin, kMargin, kCardWidth,
                                   kCardHeight);
    placeBelow(deviceLab_, roleImgV_, 23, kSectionLeft, deviceLab_->sizeHint());
    if (deviceButtons_.size() >= 2) {
        placeBelow(deviceButtons_[0], deviceLab_, 16, kSectionLeft, QSize(100, 42));
        for (std::size_t i = 1; i < deviceButtons_.size(); ++i) {
            const QRect previous = deviceButtons_[i - 1]->geometry();
            deviceButtons_[i]->setGeometry(previous.right() + 1 + 16, previous.y(), 100, 42);
        }
    }
    placeBelow(setFontLab_, deviceLab_, 80, kSectionLeft, setFontLab_->sizeHint());
    placeBelow(fontButtons_[0], setFontLab_, 16, kSectionLeft, QSize(70, 42));
    for (std::size_t i = 1; i < fontButtons_.size(); ++i) {
        const QRect previous = fontButtons_[i - 1]->geometry();
        fontButtons_[i]->setGeometry(previous.right() + 1 + 16, previous.y(), 70, 42);
    }
    placeBelow(fontShowLab_, setFontLab_, 100, (page->width() - 180) / 2, QSize(180, 50));
}

bool AISettingViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewIfLoaded() && event->type() == QEvent::Resize) setupConstraints();
    // The editor's pop-up host goes away with what it shows; the editor stays with the page,
    // keeping its text for the next showing.
    if (event->type() == QEvent::DeferredDelete && positionView_ &&
        positionView_->parent() == watched) {
        positionView_->hide();
        positionView_->setParent(viewIfLoaded());
        positionView_->hide();
    }
    return BaseViewController::eventFilter(watched, event);
}

void AISettingViewController::setPreviewSize(double points) {
    fontShowLab_->textField()->setFont(systemFont(points));
}

void AISettingViewController::imageClicked() {
    consoleLog("Image was clicked!");
    showPositionEditor();
}

void AISettingViewController::showPositionEditor() {
    QWidget* host = ApplicationWindows::contentView(ApplicationWindows::keyWindow());
    if (!host) return;
    if (!positionView_) {
        positionView_ = new PositionView(view());
        positionView_->hide();
        positionView_->resize(360, 360);
    }
    auto* overlay = new MYCenterPopView;
    overlay->show(positionView_, host);
    overlay->installEventFilter(this);

    const QString stored = QString::fromStdString(storedRecord().positioname);
    positionView_->textContent = stored;
    positionView_->roleTextView()->setPlainText(stored);
    positionView_->updatePlaceholder();
    QPointer<AISettingViewController> weak(this);
    positionView_->sureContent = [weak](const QString& text) {
        if (!weak) return;
        weak->updateStoredRecord(
            [&](AIInterviewModel& record) { record.positioname = text.toStdString(); });
    };
}

void AISettingViewController::deviceSelected(const QString& title) {
    consoleLog("选中了设备: " + title.toStdString());
    updateStoredRecord([&](AIInterviewModel& record) {
        record.deviceType = AIInterviewModel::deviceTypeFor(title.toStdString());
    });
}

void AISettingViewController::fontSelected(const QString& title) {
    consoleLog("选中了字体: " + title.toStdString());
    setPreviewSize(pointsOf(title));
    updateStoredRecord([&](AIInterviewModel& record) {
        record.answerFontSize = AIInterviewModel::answerFontSizeFor(title.toStdString());
    });
}

void AISettingViewController::refreshResumeCard() {
    const auto user = SettingsStore::record(DefaultsKey<UserBaseModel>(SettingsKeys::userInfo));
    if (!user || !user->resume) return;
    const std::string& name = user->resume->resume_name;
    if (name.empty()) {
        updateResumeView_->deleteButton()->hide();
        return;
    }
    updateResumeView_->updateLabel()->setText(QString::fromUtf8(kChosenFilePrefix) +
                                              QString::fromStdString(name));
    updateResumeView_->deleteButton()->show();
    updateResumeView_->update();
}

void AISettingViewController::uploadResume() {
    QPointer<AISettingViewController> weak(this);
    HttpDatas::shared().request(
        "/ai/token", HTTPMethod::Get, std::nullopt, std::nullopt,
        [weak](std::optional<bool> failed, std::optional<nlohmann::json> reply,
               std::optional<std::string>) {
            if (!weak) return;
            if (!failed.has_value() || *failed || !reply) {
                weak->showAlert(QStringLiteral("请求失败"), QStringLiteral("无法获取上传凭证"));
                return;
            }
            weak->updateToken_ = lenient::text(*reply, "data");
            weak->showResumePicker();
        });
}

void AISettingViewController::showResumePicker() {
    OpenPanel panel;
    panel.title = QStringLiteral("选择简历文件");
    panel.canChooseFiles = true;
    panel.canChooseDirectories = false;
    panel.allowsMultipleSelection = false;
    panel.allowedFileTypes = {QStringLiteral("pdf"), QStringLiteral("doc"), QStringLiteral("docx"),
                              QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg")};
    QPointer<AISettingViewController> weak(this);
    panel.begin([weak](OpenPanel::Response response, std::optional<std::filesystem::path> file) {
        if (!weak || response != OpenPanel::Response::ok || !file) return;
        weak->resumeChosen(*file);
    });
}

void AISettingViewController::resumeChosen(const std::filesystem::path& file) {
    const std::string name = file.filename().string();
    // Only a regular, non-empty file within the size limit is sent; the card keeps what it
    // showed.
    if (const auto problem = HttpDatas::uploadFileProblem(file)) {
        consoleLog("❌ 上传失败：" + name + "：" + *problem);
        showAlert(QStringLiteral("上传失败"), QString::fromStdString(*problem));
        return;
    }
    updateResumeView_->updateLabel()->setText(QString::fromUtf8(kChosenFilePrefix) +
                                              QString::fromStdString(name));
    updateResumeView_->update();
    consoleLog("📤 准备上传文件：" + name);
    // The size comes from the file system: the file is not read here.
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(file, error);
    if (error) {
        consoleLog("❌ 无法读取文件内容");
    } else {
        consoleLog("📦 文件大小：" + fileSizeText(bytes) + " (" + std::to_string(bytes) + " 字节)");
    }
    QPointer<AISettingViewController> weak(this);
    HttpDatas::shared().uploadFile(
        file, updateToken_,
        [weak](std::optional<bool> failed, std::optional<nlohmann::json> reply,
               std::optional<std::string> message) {
            if (!weak) return;
            const bool succeeded = failed.has_value() && !*failed && reply;
            const std::string id = succeeded ? lenient::text(*reply, "id") : std::string();
            if (!succeeded || !isSafeFileId(id)) {
                // A reply without a usable file id cannot be bound: nothing is sent.
                const std::string text = succeeded || !message || message->empty()
                                             ? std::string("请稍后重试")
                                             : *message;
                if (succeeded) consoleLog("❌ 上传回复中的文件标识无效：" + id);
                weak->showAlert(QStringLiteral("上传失败"), QString::fromStdString(text));
                return;
            }
            weak->bindResume(id, lenient::text(*reply, "filename"));
        });
}

void AISettingViewController::bindResume(const std::string& fileId, const std::string& fileName) {
    // Checked again here: the id becomes one segment of the path and nothing more.
    if (!isSafeFileId(fileId)) {
        showAlert(QStringLiteral("上传失败"), QString());
        return;
    }
    QPointer<AISettingViewController> weak(this);
    HttpDatas::shared().request(
        "/user/bind_resume/" + fileId, HTTPMethod::Post, std::nullopt, std::nullopt,
        [weak, fileName](std::optional<bool> failed, std::optional<nlohmann::json>,
                         std::optional<std::string>) {
            if (!weak) return;
            if (!failed.has_value() || *failed) {
                weak->showAlert(QStringLiteral("上传失败"), QString());
                return;
            }
            weak->updateResumeView_->showResumeBound();
            weak->showAlert(QStringLiteral("上传成功"), QStringLiteral("文件 ") +
                                                            QString::fromStdString(fileName) +
                                                            QStringLiteral(" 已成功上传"));
        });
}

void AISettingViewController::deleteResume() {
    QPointer<AISettingViewController> weak(this);
    HttpDatas::shared().request("/user/delete_resume", HTTPMethod::Get, std::nullopt, std::nullopt,
                                [weak](std::optional<bool> failed, std::optional<nlohmann::json>,
                                       std::optional<std::string>) {
                                    if (!weak || !failed.has_value() || *failed) return;
                                    weak->updateResumeView_->showResumeCleared();
                                    weak->showAlert(QStringLiteral("删除成功"), QString());
                                });
}

void AISettingViewController::showAlert(const QString& title, const QString& text) {
    Alert alert;
    alert.messageText = title;
    alert.informativeText = text;
    alert.alertStyle = Alert::Style::informational;
    alert.addButton(QStringLiteral("确定"));
    alert.runModal();
}

}  // namespace pex
