#pragma once
// One row of the history list: the session's start time, its name, and four buttons: "查看"
// (action 2), "重命名" (4), "导出" (1) and "删除" (0). A painted cell: the list measures and draws
// one cell for every row and hands it the clicks on its row; its height follows from the two
// wrapping labels. A name longer than kMaxNameLines lines ends in "…", the whole of it shown
// while the pointer rests on it, so a row never grows past its buttons.
#include <QRect>
#include <functional>

#include "platform/appkit/PaintedLabel.h"
#include "platform/appkit/TableCellView.h"

namespace pex {

class SubtitleExportCell : public TableCellView {
  public:
    static constexpr const char* kIdentifier = "SubtitleExportView";

    enum Action { deleteAction = 0, exportAction = 1, lookAction = 2, renameAction = 4 };

    struct Button {
        QString title;
        Action action;
        int width;
        int rightEdge;  // measured back from the cell's right edge
        Color titleColor;
    };

    SubtitleExportCell();

    // Set by the list for each row; gets the button's action code.
    std::function<void(int action)> didSelectItem;

    static constexpr int kMaxNameLines = 2;

    PaintedLabel codeLab;
    PaintedLabel nametLab;
    // Shows `name` in nametLab, cut to kMaxNameLines lines.
    void setName(const QString& name);
    const QString& fullName() const { return fullName_; }

    // "查看", "重命名", "导出", "删除", in that order.
    const std::vector<Button>& buttons() const { return buttons_; }
    // Where the button of `action` lies in a cell of `size` (empty for an unknown action).
    QRect buttonRect(int action, QSize size) const;

    int heightForWidth(int width) override;
    void draw(QPainter& painter, const QRect& bounds) override;
    void mouseClicked(QPoint point, QSize size) override;
    QString toolTipAt(QPoint point, QSize size) override;

  private:
    QString fullName_;
    std::vector<Button> buttons_;
    QFont buttonFont_;
};

}  // namespace pex
