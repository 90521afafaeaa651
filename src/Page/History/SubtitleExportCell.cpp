#include "Page/History/SubtitleExportCell.h"

#include <QPainter>
#include <algorithm>

#include "Tools/ColorExtension.h"
#include "platform/appkit/SystemFont.h"

namespace pex {

namespace {
constexpr int kCodeWidth = 170;
constexpr int kNameWidth = 220;
constexpr int kLabelMargin = 15;
constexpr int kButtonHeight = 25;

Color rgb255(int red, int green, int blue) {
    return Color::rgb(red / 255.0, green / 255.0, blue / 255.0);
}

void makeRowLabel(PaintedLabel& label) {
    label.setFont(systemFont(14));
    label.setTextColor(Color::grey(0));
}
}  // namespace

SubtitleExportCell::SubtitleExportCell() : buttonFont_(systemFont(13)) {
    setIdentifier(QString::fromLatin1(kIdentifier));
    makeRowLabel(codeLab);
    makeRowLabel(nametLab);
    const Color green = rgb255(15, 227, 189);
    buttons_ = {{QStringLiteral("查看"), lookAction, 45, 180, green},
                {QStringLiteral("重命名"), renameAction, 55, 120, green},
                {QStringLiteral("导出"), exportAction, 45, 70, green},
                {QStringLiteral("删除"), deleteAction, 45, 20, rgb255(236, 39, 39)}};
}

QRect SubtitleExportCell::buttonRect(int action, QSize size) const {
    for (const Button& button : buttons_) {
        if (button.action != action) continue;
        return QRect(size.width() - button.rightEdge - button.width,
                     (size.height() - kButtonHeight) / 2, button.width, kButtonHeight);
    }
    return {};
}

int SubtitleExportCell::heightForWidth(int) {
    const int code = codeLab.heightForWidth(kCodeWidth);
    const int name = nametLab.heightForWidth(kNameWidth);
    const int labels = std::max(code, name);
    codeLab.setFrame(QRect(0, kLabelMargin, kCodeWidth, labels));
    nametLab.setFrame(QRect(kCodeWidth, kLabelMargin, kNameWidth, labels));
    return labels + 2 * kLabelMargin;
}

void SubtitleExportCell::draw(QPainter& painter, const QRect& bounds) {
    heightForWidth(bounds.width());
    codeLab.draw(painter, bounds.topLeft());
    nametLab.draw(painter, bounds.topLeft());
    painter.save();
    painter.setFont(buttonFont_);
    for (const Button& button : buttons_) {
        painter.setPen(button.titleColor.toQColor());
        painter.drawText(buttonRect(button.action, bounds.size()).translated(bounds.topLeft()),
                         Qt::AlignCenter, button.title);
    }
    painter.fillRect(QRect(bounds.left(), bounds.bottom(), bounds.width(), 1),
                     colorWithHex(0xE8E8E8).toQColor());
    painter.restore();
}

void SubtitleExportCell::setName(const QString& name) {
    if (name == fullName_ && !nametLab.text().isEmpty()) return;  // the same row drawn again
    fullName_ = name;
    nametLab.setText(name);
    nametLab.setText(nametLab.attributedText().elidedToLines(kNameWidth, kMaxNameLines));
}

QString SubtitleExportCell::toolTipAt(QPoint point, QSize size) {
    heightForWidth(size.width());
    if (nametLab.text() == fullName_ || !nametLab.frame().contains(point)) return {};
    return fullName_;
}

void SubtitleExportCell::mouseClicked(QPoint point, QSize size) {
    for (const Button& button : buttons_) {
        if (buttonRect(button.action, size).contains(point)) {
            if (didSelectItem) didSelectItem(button.action);
            return;
        }
    }
}

}  // namespace pex
