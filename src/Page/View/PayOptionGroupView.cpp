#include "Page/View/PayOptionGroupView.h"

#include <QPointer>

#include "Tools/ViewHelpers.h"

namespace pex {

PayOptionGroupView::PayOptionGroupView(QWidget* parent) : QWidget(parent) {}

void PayOptionGroupView::addOption(const QString& iconName, const QString& title,
                                   const QString& subtitle, const QString& selectedImageName,
                                   const QString& unselectedImageName) {
    auto* option =
        new PayOptionView(iconName, title, subtitle, selectedImageName, unselectedImageName);
    const int index = static_cast<int>(optionViews_.size());
    // Whatever the click did to the flag, the clicked option ends up chosen.
    option->onClick = [group = QPointer<PayOptionGroupView>(this), index](bool) {
        if (group) group->selectOption(index);
    };
    addSubview(this, option);
    optionViews_.push_back(option);
    layoutOptions();
}

void PayOptionGroupView::selectOption(int index) {
    if (index < 0 || index >= static_cast<int>(optionViews_.size())) return;
    for (int i = 0; i < static_cast<int>(optionViews_.size()); ++i) {
        optionViews_[static_cast<std::size_t>(i)]->setSelected(i == index);
    }
    selectedIndex_ = index;
    if (const auto callback = onSelectionChanged) {
        callback(index, optionViews_[static_cast<std::size_t>(index)]);
    }
}

int PayOptionGroupView::contentHeight() const {
    const int count = static_cast<int>(optionViews_.size());
    return count == 0 ? 0 : count * kOptionHeight + (count - 1) * kOptionSpacing;
}

void PayOptionGroupView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutOptions();
}

void PayOptionGroupView::layoutOptions() {
    int top = 0;
    for (PayOptionView* option : optionViews_) {
        option->setGeometry(0, top, width(), kOptionHeight);
        top += kOptionHeight + kOptionSpacing;
    }
}

}  // namespace pex
