#pragma once
// An image view: draws its image scaled to fit its bounds, keeping the image's proportions,
// centred. Without an image it draws nothing. With a corner radius the picture is clipped to
// the rounded bounds (half the side gives a circle) with smooth, antialiased edges.
#include <QPixmap>
#include <QWidget>

namespace pex {

class ImageView : public QWidget {
    Q_OBJECT
  public:
    explicit ImageView(QWidget* parent = nullptr);
    explicit ImageView(const QPixmap& image, QWidget* parent = nullptr);

    const QPixmap& image() const { return image_; }
    void setImage(const QPixmap& image);

    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius);

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap image_;
    double cornerRadius_ = 0;
};

}  // namespace pex
