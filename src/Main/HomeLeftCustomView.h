#pragma once
// One item of the sidebar menu: a 15 × 15 icon and a title, on a rounded layer that shows
// whether the item is selected. Built in code only.
#include <QString>

#include "Tools/LayerBackedView.h"

class QLabel;

namespace pex {

class ImageView;

class HomeLeftCustomView : public LayerBackedView {
    Q_OBJECT
  public:
    explicit HomeLeftCustomView(QWidget* parent = nullptr);

    int menuTag = 0;

    ImageView* iconImg();
    QLabel* titleLab();

    // Shows the named picture (AppImages) and remembers its name.
    void setIcon(const QString& name);
    const QString& iconName() const { return iconName_; }

  protected:
    void layoutSubviews() override;

  private:
    ImageView* iconImg_ = nullptr;
    QLabel* titleLab_ = nullptr;
    QString iconName_;
};

}  // namespace pex
