#pragma once
// The customer-service contact card: a title, the QR code with which the user adds the
// customer service as a contact, a line telling them to scan it, and a close image. Each card
// asks the service for the QR image's address ("/operation/contact") while it is built, and
// loads the picture from there (http or https only). The login window, the account page and
// the purchase page show it in the centred pop-up host; its close image (or Esc) dismisses the
// pop-up.
#include <QSize>
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "Tools/BaseView.h"

namespace pex {

class ImageView;
class TailTruncatingLabel;

class ContactView : public BaseView {
    Q_OBJECT
  public:
    static constexpr int kCardSide = 260;
    static constexpr int kCardCornerRadius = 10;
    static constexpr int kQRCodeSide = 150;
    static constexpr int kCloseSide = 20;
    static constexpr const char* kContactPath = "/operation/contact";

    ContactView(Key key, QWidget* parent = nullptr);

    // A card as its hosts show it: 260 × 260 with its corners rounded to 10 and clipped.
    static ContactView* makeCard(QWidget* parent = nullptr);

    // Called when the card is closed, before the pop-up is dismissed. None at construction.
    std::function<void()> enabledBlock;

    TailTruncatingLabel* titleL() const { return titleL_; }
    TailTruncatingLabel* subTitleL() const { return subTitleL_; }
    ImageView* closeImg() const { return closeImg_; }
    ImageView* iconV() const { return iconV_; }

    // The close image's click: runs enabledBlock, then dismisses the centred pop-up.
    void closeTap();

    // Rounds the card's corners and clips its contents to them.
    void setCornerRadius(double radius);

  protected:
    void setupUI() override;
    void setupConstraints() override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void handleContactReply(std::optional<bool> failed, const std::optional<nlohmann::json>& reply);
    void applyCornerRadius();

    TailTruncatingLabel* titleL_;
    TailTruncatingLabel* subTitleL_;
    ImageView* closeImg_;
    ImageView* iconV_;
    double cornerRadius_ = 0;
};

}  // namespace pex
