#pragma once
// The detail pop-up of a stored session whose answers came automatically: a dimmed backdrop
// over the history panel and a white card with the session's transcript lines (each with the
// answer given for it), the player of its recording and a share icon. A click on the backdrop
// (or Esc) stops the sound and closes the pop-up; clicks inside the card reach nothing beneath it.
#include <QPointer>
#include <functional>
#include <optional>
#include <vector>

#include "Page/History/AudioPlayerView.h"
#include "Tools/ClickKeepingView.h"
#include "Tools/ImageView.h"
#include "platform/appkit/TableView.h"
#include "platform/appkit/TableViewDataSource.h"
#include "service/HistoryRecord.h"
#include "service/TranslationDetailRecord.h"

namespace pex {

class SubtitleDetailAlertView : public ClickKeepingView, public TableViewDataSource {
    Q_OBJECT
  public:
    explicit SubtitleDetailAlertView(QWidget* parent = nullptr);

    std::vector<TranslationDetailRecord> dataArr;
    // The session shown; set by the opener before configure.
    std::optional<HistoryRecord> history;
    // Called with 1 by the share icon.
    std::function<void(int)> didSelectItem;

    // Reads the session's rows and loads its recording.
    virtual void configure();
    // The share icon.
    void didTap();
    // The backdrop: stops playback and closes the pop-up.
    void didTap1();
    // Reads the selected row and changes nothing.
    void tableViewSelectionDidChange();

    LayerBackedView* shareView() const { return shareView_; }
    LayerBackedView* contentView() const { return contentView_; }
    AudioPlayerView* audioView() const { return audioView_; }
    ImageView* iconImg() const { return iconImg_; }
    TableView* mTableView() const { return mTableView_; }

    int numberOfRowsInTableView(TableView& tableView) override;
    TableCellView* viewForRow(TableView& tableView, int row) override;

  protected:
    SubtitleDetailAlertView(const char* viewName, QWidget* parent);
    void layoutSubviews() override;
    // The conversation cell of `tableView`, reused under "AiInterviewCellMac".
    static class AiInterviewCellMac* conversationCell(TableView& tableView);
    // The transcript table's frame in the card.
    virtual QRect transcriptTableFrame(const QSize& card) const;

  private:
    LayerBackedView* shareView_;
    LayerBackedView* contentView_;
    AudioPlayerView* audioView_;
    ImageView* iconImg_;
    TableView* mTableView_;
};

}  // namespace pex
