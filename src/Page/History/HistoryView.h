#pragma once
// The interview history panel: a dimmed backdrop over the whole window with a card titled
// "面试记录", a search field and the list of stored interviews, newest first. The account page
// keeps one panel and adds it to its window's content view each time the user opens it; a
// click on the backdrop or on the close icon takes it off again, keeping it for the next time.
// Clicks never reach the page underneath.
#include <QLineEdit>
#include <QListWidget>
#include <vector>

#include "Tools/ClickKeepingView.h"
#include "Tools/ImageView.h"
#include "service/HistoryRecord.h"

class QLabel;

namespace pex {

class HistoryView : public ClickKeepingView {
    Q_OBJECT
  public:
    // Builds the panel and loads the rows once.
    explicit HistoryView(QWidget* parent = nullptr);

    // Reads every interview from the history database again (newest first) into the list. The
    // read runs on the main queue just after the call; a panel deleted by then is skipped.
    void reload();

    // Closes the panel: takes it out of its superview.
    void didTap1();
    // A click on the card goes to bgTap (inherited): it writes "111" and nothing else.

    const std::vector<HistoryRecord>& records() const { return records_; }
    QLineEdit* searchTextField() const { return searchTextField_; }
    QLabel* tip1Lab() const { return tip1Lab_; }
    ImageView* closeImg() const { return closeImg_; }
    LayerBackedView* sharedView() const { return sharedView_; }
    LayerBackedView* bgView() const { return bgView_; }
    QListWidget* contentView() const { return contentView_; }

  protected:
    void layoutSubviews() override;

  private:
    void showRecords(std::vector<HistoryRecord> records);

    LayerBackedView* sharedView_;
    LayerBackedView* bgView_;
    ImageView* bgImg_;
    ImageView* closeImg_;
    QLabel* tip1Lab_;
    LayerBackedView* searchBox_;
    QLineEdit* searchTextField_;
    QListWidget* contentView_;
    std::vector<HistoryRecord> records_;
};

}  // namespace pex
