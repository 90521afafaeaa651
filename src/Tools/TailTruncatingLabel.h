#pragma once
// A one-line label that cuts text too long for its width at the tail, with an ellipsis.
#include <QLabel>

namespace pex {

class TailTruncatingLabel : public QLabel {
    Q_OBJECT
  public:
    explicit TailTruncatingLabel(const QString& text = QString(), QWidget* parent = nullptr);

    // The text as drawn at the current width.
    QString displayedText() const;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace pex
