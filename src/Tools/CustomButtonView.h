#pragma once
// A selectable tile: a centred title, a rounded grey border and, when chosen, a pale green fill
// and a selection mark in the bottom-right corner. A click anywhere on the tile runs
// `onTapAction`. ExclusiveSelectionGroup binds tiles into a single choice.
#include <QLabel>
#include <QPixmap>
#include <functional>
#include <optional>

#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"

namespace pex {

class CustomButtonView : public LayerBackedView {
    Q_OBJECT
  public:
    static constexpr int kMarkSide = 16;

    explicit CustomButtonView(QWidget* parent = nullptr);

    bool isSelected() const { return isSelected_; }

    const QString& title() const { return title_; }
    void setTitle(const QString& title);

    const std::optional<QPixmap>& image() const { return image_; }
    void setImage(std::optional<QPixmap> image);

    std::function<void()> onTapAction;

    QLabel* titleLabel() const { return titleLabel_; }
    ImageView* imageView() const { return imageView_; }

    // The click action: runs onTapAction when set.
    void viewTapped();

    // The chosen look (fill, mark shown, no border) or the plain one (no fill, mark hidden,
    // 1-point border).
    void markSelected(bool selected);

    // The fill of the chosen look: #D6F2EC.
    static Color selectedFillColor();

  protected:
    void drawContents(QPainter& painter, const QRect& dirtyRect) override;
    void layoutSubviews() override;

  private:
    bool isSelected_ = false;
    QString title_ = QStringLiteral("Button");
    std::optional<QPixmap> image_;
    QLabel* titleLabel_;
    ImageView* imageView_;
};

}  // namespace pex
