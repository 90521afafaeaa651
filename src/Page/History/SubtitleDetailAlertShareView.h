#pragma once
// The export chooser opened by a detail pop-up's share icon: a dimmed backdrop and a small card
// near the top right titled "选择导出项目" with the choices "仅问题答案" (1), "仅音频" (2) and,
// for sessions with manual answers, "仅同传" (3). A choice is handed to `didSelectItem`; a click
// on the backdrop (or Esc) closes the chooser without exporting. Clicks never reach the views
// beneath.
#include <QLabel>
#include <functional>

#include "Tools/ClickKeepingView.h"

namespace pex {

class SubtitleDetailAlertShareView : public ClickKeepingView {
    Q_OBJECT
  public:
    enum Choice { questionsAndAnswers = 1, recording = 2, transcript = 3 };
    static constexpr int kCardWidth = 120;
    static constexpr int kCardHeight = 130;
    static constexpr int kCardHeightWithoutTranscript = 100;

    explicit SubtitleDetailAlertShareView(QWidget* parent = nullptr);

    std::function<void(int choice)> didSelectItem;

    // Shows or hides the choice "仅同传"; the card is 130 high with it and 100 without.
    void setTranscriptChoiceShown(bool shown);
    bool isTranscriptChoiceShown() const { return transcriptShown_; }

    // "仅问题答案", "仅音频", "仅同传".
    void didTap();
    void didTap2();
    void didTap3();
    // The backdrop: closes the chooser.
    void didTap1();

    LayerBackedView* shareView() const { return shareView_; }
    LayerBackedView* contentView() const { return contentView_; }
    QLabel* titleLab() const { return titleLab_; }
    QLabel* selectLab() const { return selectLab_; }
    QLabel* selectLab3() const { return selectLab3_; }
    QLabel* select1Lab() const { return select1Lab_; }

  protected:
    void layoutSubviews() override;

  private:
    void choose(int choice);

    LayerBackedView* shareView_;
    LayerBackedView* contentView_;
    QLabel* titleLab_;
    QLabel* selectLab_;
    QLabel* selectLab3_;
    QLabel* select1Lab_;
    bool transcriptShown_ = true;
};

}  // namespace pex
