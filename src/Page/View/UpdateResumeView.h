#pragma once
// The résumé card of the AI settings page. It only shows and reports clicks: a click anywhere
// on the card runs `updateBlock` (upload), a click on its delete button runs
// `resumeDeleteBlock`; the host runs the requests and then puts the card into its bound or
// cleared state, or sets the main label's text.
#include <QLabel>
#include <QPushButton>
#include <functional>

#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"

namespace pex {

class UpdateResumeView : public LayerBackedView {
    Q_OBJECT
  public:
    static constexpr const char* kFormatHint =
        "文件格式支持(text，docx，pdf等)，简历如有更新可以重新上传覆盖";
    static constexpr const char* kUploadText = "上传简历";
    static constexpr int kTitleWidth = 280;
    // How far the main label's centre sits above the card's centre: bound, and cleared.
    static constexpr int kBoundLift = 35;
    static constexpr int kClearedLift = 11;

    explicit UpdateResumeView(QWidget* parent = nullptr);

    std::function<void()> updateBlock;
    std::function<void()> resumeDeleteBlock;

    QLabel* title() const { return title_; }
    QLabel* updateLabel() const { return updateLabel_; }
    QPushButton* deleteButton() const { return deleteButton_; }
    ImageView* icon() const { return icon_; }

    void updateTap();
    void deleteTapped();
    // Delete button shown, main label in its upper place.
    void showResumeBound();
    // Delete button hidden, the hint and "上传简历" back, main label lower.
    void showResumeCleared();

  protected:
    void layoutSubviews() override;

  private:
    QLabel* title_;
    QLabel* updateLabel_;
    QPushButton* deleteButton_;
    ImageView* icon_;
    int labelLift_ = kBoundLift;
};

}  // namespace pex
