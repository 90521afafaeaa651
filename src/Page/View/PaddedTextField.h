#pragma once
// A one-line text field with room around its text: its natural size grows by the insets
// (4 above and below, 8 left and right), and its text is drawn once more inside the bounds
// shrunk by them.
#include <QLineEdit>
#include <QMargins>

namespace pex {

class PaddedTextField : public QLineEdit {
    Q_OBJECT
  public:
    explicit PaddedTextField(QWidget* parent = nullptr);

    const QMargins& insets() const { return insets_; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QMargins insets_{8, 4, 8, 4};  // left, top, right, bottom
};

}  // namespace pex
