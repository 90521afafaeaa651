#pragma once
// The AI settings page (tag 3, "面试设置"): the position and role text sent with every question,
// the audio source and the answers' font size of the next interview, and the résumé the service
// binds to the account (fetched credential → file picker → upload to the AI provider → bind).
//
// The interview settings record "aiInterviewSetModel" is shared with the setup page, so each
// choice here reads the stored record (or the setup page's default one when none is stored),
// changes only its own field and writes it back: choices made elsewhere since are kept.
#include <QLabel>
#include <QPointer>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Page/View/PositionView.h"
#include "Page/View/UpdateResumeView.h"
#include "Tools/BaseViewController.h"
#include "Tools/CustomBacTextField.h"
#include "Tools/CustomButtonView.h"
#include "Tools/ExclusiveSelectionGroup.h"
#include "Tools/ImageView.h"
#include "service/AIInterviewModel.h"

namespace pex {

class AISettingViewController : public BaseViewController {
    Q_OBJECT
  public:
    static constexpr const char* kMicrophone = "麦克风声音";
    static constexpr const char* kSystemSound = "系统声音";
    static constexpr const char* kPreviewText = "Hi,Pexmora";
    static constexpr const char* kChosenFilePrefix = "已选择文件：";
    static constexpr int kFirstFontSize = 14;
    static constexpr int kFontSizeStep = 2;
    static constexpr int kFontButtonCount = 6;

    explicit AISettingViewController(QObject* parent = nullptr);

    // The index of the font button a stored size selects: (size − 14) / 2, truncated toward
    // zero; none when that is outside the six buttons.
    static std::optional<int> fontButtonIndex(std::int64_t answerFontSize);
    // True for a provider file id that can stand as one path segment: letters, digits, "_",
    // "-" and ".", and not "." or "..".
    static bool isSafeFileId(const std::string& id);

    // Actions.
    void imageClicked();
    void uploadResume();
    void deleteResume();
    // The résumé card from the stored profile; runs each time the page comes on screen.
    void refreshResumeCard();
    void deviceSelected(const QString& title);
    void fontSelected(const QString& title);

    // Steps a test may replace.
    virtual void showPositionEditor();
    virtual void showResumePicker();
    virtual void bindResume(const std::string& fileId, const std::string& fileName);
    // A file was chosen in the picker: shows its name and uploads it.
    void resumeChosen(const std::filesystem::path& file);

    // State and views (views exist once the view is loaded).
    const std::optional<AIInterviewModel>& startAIModel() const { return startAIModel_; }
    const std::string& updateToken() const { return updateToken_; }
    PositionView* positionView() const { return positionView_.data(); }
    ImageView* roleImgV() const { return roleImgV_; }
    QLabel* titleLab() const { return titleLab_; }
    QLabel* deviceLab() const { return deviceLab_; }
    QLabel* setFontLab() const { return setFontLab_; }
    CustomBacTextField* fontShowLab() const { return fontShowLab_; }
    UpdateResumeView* updateResumeView() const { return updateResumeView_; }
    const std::vector<CustomButtonView*>& deviceButtons() const { return deviceButtons_; }
    const std::vector<CustomButtonView*>& fontButtons() const { return fontButtons_; }

  protected:
    void setupUI() override;
    void setupConstraints() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The stored record, or the setup page's default record when none is stored.
    static AIInterviewModel storedRecord();
    // Reads the stored record, lets `change` set one field, writes it back.
    template <typename Change>
    void updateStoredRecord(Change change);
    void setPreviewSize(double points);
    void showAlert(const QString& title, const QString& text);
    CustomButtonView* makeSelectionButton(const QString& title);

    std::optional<AIInterviewModel> startAIModel_;
    std::string updateToken_;
    QPointer<PositionView> positionView_;
    ImageView* roleImgV_ = nullptr;
    QLabel* titleLab_ = nullptr;
    QLabel* deviceLab_ = nullptr;
    QLabel* setFontLab_ = nullptr;
    CustomBacTextField* fontShowLab_ = nullptr;
    UpdateResumeView* updateResumeView_ = nullptr;
    std::shared_ptr<ExclusiveSelectionGroup> deviceSelectionGroup_;
    std::vector<CustomButtonView*> deviceButtons_;
    std::shared_ptr<ExclusiveSelectionGroup> fontSelectionGroup_;
    std::vector<CustomButtonView*> fontButtons_;
};

}  // namespace pex
