#pragma once
// The card in which the user picks the kind of interview: domestic (1), overseas (2) or
// either (3). "确定" hands the chosen type to `selectInterviewBlock` (only when one was chosen)
// and closes the centred pop-up; "跳过" only closes it. The card stores nothing and calls no
// service.
#include <QPushButton>
#include <array>
#include <functional>
#include <optional>

#include "Page/View/InterviewContentView.h"
#include "Tools/LayerBackedView.h"

namespace pex {

class InterviewTypeView : public LayerBackedView {
    Q_OBJECT
  public:
    explicit InterviewTypeView(QWidget* parent = nullptr);

    std::function<void(int type)> selectInterviewBlock;
    std::optional<int> type;

    QLabel* typeLabel() const { return typeLabel_; }
    QLabel* contentLabel() const { return contentLabel_; }
    // The option tiles for types 1, 2 and 3.
    InterviewContentView* tile(int type) const;
    QPushButton* skipButton() const { return skipButton_; }
    QPushButton* sureButton() const { return sureButton_; }

    void refreshSelection();
    void skipTap();
    void sureTap();

  protected:
    void layoutSubviews() override;

  private:
    QLabel* typeLabel_;
    QLabel* contentLabel_;
    std::array<InterviewContentView*, 3> tiles_{};
    QPushButton* skipButton_;
    QPushButton* sureButton_;
};

}  // namespace pex
