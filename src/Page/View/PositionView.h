#pragma once
// The pop-up in which the user writes the position and role that accompany every question sent
// to the AI. The host shows it in the centred pop-up host, fills in the stored text and
// receives the edited text through `sureContent` when the user presses "确定"; both buttons
// close the pop-up. The text area scrolls by itself (it is its own scroll view), without a
// visible scroller.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>
#include <optional>

#include "Tools/LayerBackedView.h"

namespace pex {

class PositionView : public LayerBackedView {
    Q_OBJECT
  public:
    static constexpr const char* kPlaceholder = "请输入文本...";
    static constexpr int kInset = 23;
    static constexpr int kTextAreaHeight = 200;

    explicit PositionView(QWidget* parent = nullptr);

    std::function<void(const QString& text)> sureContent;
    std::function<void()> cancelContent;
    // The text the host handed in when it opened the view.
    std::optional<QString> textContent;

    QWidget* contentView() const { return contentView_; }
    QLabel* placeholderLabel() const { return placeholderLabel_; }
    QPlainTextEdit* roleTextView() const { return roleTextView_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QPushButton* sureButton() const { return sureButton_; }

    // Placeholder shown exactly while the text is empty.
    void updatePlaceholder();
    void sureTapped();
    void cancelTapped();

  protected:
    void layoutSubviews() override;
    // A click beside the text area ends the editing.
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QLabel* titleLabel_;
    QLabel* hintLabel_;
    QWidget* contentView_;
    QLabel* placeholderLabel_;
    QPlainTextEdit* roleTextView_;
    QPushButton* cancelButton_;
    QPushButton* sureButton_;
};

}  // namespace pex
