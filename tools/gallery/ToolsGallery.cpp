// The alert of the service client, the application's pictures and the theme colours.
#include <QMessageBox>
#include <QPainter>

#include "Gallery.h"
#include "Tools/AppImages.h"
#include "Tools/ColorExtension.h"
#include "Tools/QtAlertPresenter.h"
#include "Tools/UIConstants.h"

namespace pex::gallery {
namespace {

Render alertState(std::string title, std::string message) {
    return [title, message] {
        auto box = QtAlertPresenter::makeAlert(title, message).makeMessageBox();
        box->setWindowModality(Qt::NonModal);  // shown for the picture only
        return snapshot(*box);
    };
}

const Entry serviceError{"QtAlertPresenter", "service_error",
                         alertState("验证码错误，请重新输入", "")};
const Entry transportFailure{"QtAlertPresenter", "transport_failure",
                             alertState("网络连接已断开。", "http://127.0.0.1:18620/user/info")};

// Every picture at its size in points, named, on white; the selected sidebar icons ("_s") on
// the selected item's colour.
QImage imageSheet() {
    const QStringList names = AppImages::names();
    constexpr int kCell = 150;
    constexpr int kColumns = 5;
    const int rows = (static_cast<int>(names.size()) + kColumns - 1) / kColumns;
    QImage sheet(QSize(kCell * kColumns, kCell * rows) * 2, QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(2);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    painter.setFont(themeFont14());
    for (int i = 0; i < names.size(); ++i) {
        const QRectF cell((i % kColumns) * kCell, (i / kColumns) * kCell, kCell, kCell);
        const QPixmap picture = AppImages::named(names[i]);
        QSizeF size = picture.deviceIndependentSize();
        size.scale(size.boundedTo(QSizeF(kCell - 20, kCell - 40)), Qt::KeepAspectRatio);
        const QRectF target(cell.center().x() - size.width() / 2,
                            cell.top() + (kCell - 30 - size.height()) / 2, size.width(),
                            size.height());
        if (names[i].endsWith(QStringLiteral("_s"))) {
            painter.fillRect(target.adjusted(-6, -6, 6, 6), colorWithHex(0x0FE3BD).toQColor());
        }
        painter.drawPixmap(target, picture, QRectF(picture.rect()));
        painter.setPen(themeSubTextColor().toQColor());
        painter.drawText(QRectF(cell.left(), cell.bottom() - 30, kCell, 24), Qt::AlignCenter,
                         names[i]);
    }
    return sheet;
}

const Entry images{"AppImages", "all", imageSheet};

QImage themeSwatches() {
    const std::pair<const char*, const Color&> colours[] = {
        {"themeTextColor", themeTextColor()},
        {"themeSubTextColor", themeSubTextColor()},
        {"themeLightBackgroundColor", themeLightBackgroundColor()},
        {"themeTealColor", themeTealColor()},
        {"themeGrayColor", themeGrayColor()},
        {"themeMainColor", themeMainColor()},
        {"themeMainLightColor", themeMainLightColor()},
        {"themeLoginBackgroundColor", themeLoginBackgroundColor()},
        {"themePageBackgroundColor", themePageBackgroundColor()},
    };
    constexpr int kRow = 44;
    QImage image(QSize(520, kRow * static_cast<int>(std::size(colours)) + 110) * 2,
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    int y = 10;
    for (const auto& [name, colour] : colours) {
        painter.setPen(QColor(0xDD, 0xDD, 0xDD));
        painter.setBrush(colour.toQColor());
        painter.drawRoundedRect(QRectF(10, y, 60, kRow - 10), 6, 6);
        painter.setPen(themeTextColor().toQColor());
        painter.setFont(themeFont14());
        painter.drawText(QRectF(84, y, 300, kRow - 10), Qt::AlignVCenter,
                         QString::fromLatin1(name));
        painter.drawText(QRectF(380, y, 130, kRow - 10), Qt::AlignVCenter,
                         QString::fromStdString(hexString(colour)));
        y += kRow;
    }
    for (const QFont* font : {&themeFont14(), &themeFont15(), &themeFont17()}) {
        painter.setFont(*font);
        painter.drawText(QPointF(12, y + 22),
                         QStringLiteral("themeFont%1 面试助攻 Interview").arg(font->pixelSize()));
        y += 32;
    }
    return image;
}

const Entry theme{"Theme", "colours_and_fonts", themeSwatches};

}  // namespace
}  // namespace pex::gallery
