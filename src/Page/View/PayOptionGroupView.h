#pragma once
// The payment methods of the purchase page, stacked top to bottom (46 points each, 12 apart),
// of which at most one is chosen. A click on an option always makes it the chosen one (even a
// click on the option already chosen) and reports the selection again.
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "Page/View/PayOptionView.h"

namespace pex {

class PayOptionGroupView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kOptionHeight = 46;
    static constexpr int kOptionSpacing = 12;

    explicit PayOptionGroupView(QWidget* parent = nullptr);

    // Appends an option made from an icon name, a title, a subtitle and the mark images.
    void addOption(const QString& iconName, const QString& title, const QString& subtitle,
                   const QString& selectedImageName, const QString& unselectedImageName);

    // Chooses the option at `index` and reports it; an index outside the options does nothing.
    void selectOption(int index);

    const std::vector<PayOptionView*>& optionViews() const { return optionViews_; }
    const std::optional<int>& selectedIndex() const { return selectedIndex_; }
    // The height the options need.
    int contentHeight() const;

    std::function<void(int index, PayOptionView* option)> onSelectionChanged;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void layoutOptions();

    std::vector<PayOptionView*> optionViews_;
    std::optional<int> selectedIndex_;
};

}  // namespace pex
