#pragma once
// The interview history panel: a dimmed backdrop over the whole window with a card titled
// "面试记录", a search field and the list of stored interviews, newest first. Each row can be
// viewed or exported (both open the session's detail pop-up), renamed or deleted. The account
// page keeps one panel and adds it to its window's content view each time the user opens it; a
// click on the backdrop or on the close icon takes it off again, keeping it for the next time;
// so does Esc.
// Clicks never reach the page underneath.
//
// The list is read from the history database on a queue of its own, so typing a search among
// thousands of sessions never holds up the window; only the newest request's rows are shown.
#include <QLineEdit>
#include <cstdint>
#include <vector>

#include "Page/History/SubtitleExportView.h"
#include "Tools/ClickKeepingView.h"
#include "Tools/ImageView.h"
#include "platform/foundation/DispatchQueue.h"
#include "service/HistoryRecord.h"

class QLabel;

namespace pex {

class HistoryView : public ClickKeepingView {
    Q_OBJECT
  public:
    // Builds the panel and loads the rows once.
    explicit HistoryView(QWidget* parent = nullptr);

    // Reads every interview again (newest first) into the list, whatever the search field holds.
    // The rows arrive on the main queue after the call; a panel deleted by then is skipped.
    void reload();
    // Runs the search for the field's text, lower-cased: an empty text lists every interview,
    // any other the interviews whose name contains it literally.
    void search();

    // The rename dialogue: stores the typed name (the empty one too) unless "取消" is chosen.
    virtual void showRenamePrompt(const HistoryRecord& record);
    // Deletes the interview with its lines, answers and recording; "删除成功" 0.25 s later.
    virtual void deleteRecord(std::int64_t id);
    // A row's button: 0 delete, 4 rename, any other opens the session's detail pop-up.
    void handleRowAction(int row, int action, std::int64_t id);

    // The export chooser over the panel's superview (opened by a detail pop-up's share icon):
    // questions and answers and the recording, and for manual sessions the transcript.
    void showExportChooser(const HistoryRecord& record);
    // Each export builds its text or reads the recording once, proposes a name in a save
    // dialogue and writes the file chosen; the file's address is then on the clipboard and a
    // tip says so 0.25 s later. A failed write, or a recording that cannot be read, is told
    // with a short message and leaves the clipboard alone.
    virtual void exportTranscript(const HistoryRecord& record);
    virtual void exportQuestionsAndAnswers(const HistoryRecord& record);
    virtual void exportAudio(const HistoryRecord& record);

    // Closes the panel: takes it out of its superview.
    void didTap1();
    // A click on the card goes to bgTap (inherited): it writes "111" and nothing else.

    const std::vector<HistoryRecord>& records() const { return contentView_->dataArr; }
    QLineEdit* searchTextField() const { return searchTextField_; }
    QLabel* tip1Lab() const { return tip1Lab_; }
    ImageView* closeImg() const { return closeImg_; }
    LayerBackedView* sharedView() const { return sharedView_; }
    LayerBackedView* bgView() const { return bgView_; }
    SubtitleExportView* contentView() const { return contentView_; }
    // True while a list read is under way.
    bool isLoadingList() const { return pendingLoads_ > 0; }
    // Says what happened when the history database could not be used as it was (a damaged
    // file kept aside, or no database this run); hidden otherwise.
    QLabel* noticeLab() const { return noticeLab_; }
    // The queue the list is read on; tests wait on it.
    const DispatchQueue& listQueue() const { return listQueue_; }

  protected:
    void layoutSubviews() override;

  private:
    // Reads the rows for `text` (all when empty) off the main thread and shows them.
    void loadList(const QString& text);
    void showRecords(std::vector<HistoryRecord> records);
    void openDetail(const HistoryRecord& record);
    // Offers `bytes` under `proposedName` in a save dialogue and writes them where chosen.
    void saveExport(const QString& proposedName, const QString& fileType, std::string bytes,
                    const QString& successTip);
    // Removes the recording of a deleted session unless another session still names it.
    static void removeRecording(const std::string& audioFileName,
                                const std::vector<HistoryRecord>& remaining);
    static void tellFailure(const QString& what, const std::string& error);

    LayerBackedView* sharedView_;
    LayerBackedView* bgView_;
    ImageView* bgImg_;
    ImageView* closeImg_;
    QLabel* tip1Lab_;
    QLabel* noticeLab_;
    LayerBackedView* searchBox_;
    QLineEdit* searchTextField_;
    SubtitleExportView* contentView_;
    DispatchQueue listQueue_;
    // Counts the list changes asked for; a read that finishes after a newer one was asked for
    // is dropped.
    std::uint64_t listGeneration_ = 0;
    int pendingLoads_ = 0;
};

}  // namespace pex
