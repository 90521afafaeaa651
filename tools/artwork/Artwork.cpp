#include "Artwork.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace pex::artwork {

namespace {

const QColor kTeal(0x19, 0xCF, 0xAE);
const QColor kDeepTeal(0x0F, 0xA8, 0x8D);
const QColor kLightTeal(0xD7, 0xF2, 0xF2);
const QColor kOrange(0xFF, 0x9F, 0x43);
const QColor kGrey(0x66, 0x66, 0x66);
const QColor kLightGrey(0x99, 0x99, 0x99);
const QColor kInk(0x33, 0x33, 0x33);

QPen line(const QColor& colour, double width) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void logo(QPainter& p) {
    QLinearGradient fill(0, 0, 128, 128);
    fill.setColorAt(0, QColor(0x3A, 0xE4, 0xC6));
    fill.setColorAt(1, kDeepTeal);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(4, 4, 120, 120), 28, 28);
    // A speech bubble with a voice level inside.
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(24, 30, 80, 56), 18, 18);
    QPainterPath tail;
    tail.moveTo(40, 80);
    tail.lineTo(34, 100);
    tail.lineTo(58, 84);
    tail.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(bubble.united(tail));
    p.setPen(line(kTeal, 7));
    const double heights[] = {12, 26, 36, 22, 12};
    for (int i = 0; i < 5; ++i) {
        const double x = 42 + i * 11;
        p.drawLine(QPointF(x, 58 - heights[i] / 2), QPointF(x, 58 + heights[i] / 2));
    }
}

void closeMark(QPainter& p) {
    p.setPen(line(kLightGrey, 1.8));
    p.drawLine(QPointF(5, 5), QPointF(15, 15));
    p.drawLine(QPointF(15, 5), QPointF(5, 15));
}

void checkOnDisc(QPainter& p, double side, const QColor& disc) {
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(QRectF(0.5, 0.5, side - 1, side - 1));
    p.setPen(line(Qt::white, side / 12));
    p.setBrush(Qt::NoBrush);
    const QPointF tick[] = {
        {side * 0.28, side * 0.52}, {side * 0.44, side * 0.67}, {side * 0.73, side * 0.37}};
    p.drawPolyline(tick, 3);
}

void exclamationOnDisc(QPainter& p, double side, const QColor& disc) {
    QRadialGradient glow(side / 2, side / 2, side / 2);
    glow.setColorAt(0, disc.lighter(115));
    glow.setColorAt(1, disc);
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QRectF(0.5, 0.5, side - 1, side - 1));
    p.setPen(line(Qt::white, side / 10));
    p.drawLine(QPointF(side / 2, side * 0.25), QPointF(side / 2, side * 0.58));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(side / 2, side * 0.74), side / 16, side / 16);
}

// A light teal wash fading downwards into white, or into nothing when `clearBelow`, so that
// the card's own colour shows there.
void tipBackground(QPainter& p, QSizeF size, bool clearBelow = false) {
    QLinearGradient fill(0, 0, 0, size.height());
    fill.setColorAt(0, kLightTeal);
    fill.setColorAt(0.6, QColor(0xF4, 0xFC, 0xFB, clearBelow ? 110 : 255));
    fill.setColorAt(1, QColor(0xFF, 0xFF, 0xFF, clearBelow ? 0 : 255));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(QPointF(0, 0), size), 10, 10);
    // Soft rings in the top corners.
    p.setBrush(QColor(0x19, 0xCF, 0xAE, 28));
    p.drawEllipse(QPointF(size.width() * 0.9, size.height() * 0.05), size.height() * 0.35,
                  size.height() * 0.35);
    p.setBrush(QColor(0x19, 0xCF, 0xAE, 18));
    p.drawEllipse(QPointF(size.width() * 0.08, size.height() * 0.12), size.height() * 0.22,
                  size.height() * 0.22);
}

// The same wash with its edges fading out, for cards that scale it to fit a frame of another
// shape: wherever it lands, it shows no hard edge.
void featheredTipBackground(QPainter& p, QSizeF size) {
    QImage picture((size * 2).toSize(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    {
        QPainter layer(&picture);
        layer.setRenderHints(QPainter::Antialiasing);
        layer.scale(2, 2);
        tipBackground(layer, size, true);
        layer.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        layer.setPen(Qt::NoPen);
        const QRectF all(QPointF(0, 0), size);
        QLinearGradient down(0, 0, 0, size.height());
        down.setColorAt(0, Qt::transparent);
        down.setColorAt(0.08, Qt::black);
        down.setColorAt(0.9, Qt::black);
        down.setColorAt(1, Qt::transparent);
        layer.fillRect(all, down);
        QLinearGradient across(0, 0, size.width(), 0);
        across.setColorAt(0, Qt::transparent);
        across.setColorAt(0.05, Qt::black);
        across.setColorAt(0.95, Qt::black);
        across.setColorAt(1, Qt::transparent);
        layer.fillRect(all, across);
    }
    picture.setDevicePixelRatio(2);
    p.drawImage(QPointF(0, 0), picture);
}

// A round fruit with a stem and a leaf: the mark of a purchase in the order list.
void fruit(QPainter& p) {
    QPainterPath body;
    body.moveTo(8, 5.2);
    body.cubicTo(10.2, 3.6, 14.4, 4.2, 14.4, 8.6);
    body.cubicTo(14.4, 12.4, 11.6, 15.2, 9.6, 15.2);
    body.cubicTo(8.8, 15.2, 8.6, 14.8, 8, 14.8);
    body.cubicTo(7.4, 14.8, 7.2, 15.2, 6.4, 15.2);
    body.cubicTo(4.4, 15.2, 1.6, 12.4, 1.6, 8.6);
    body.cubicTo(1.6, 4.2, 5.8, 3.6, 8, 5.2);
    body.closeSubpath();
    QRadialGradient flesh(QPointF(6, 7.5), 8.5);
    flesh.setColorAt(0, QColor(0xFF, 0x7A, 0x66));
    flesh.setColorAt(1, QColor(0xE5, 0x3B, 0x33));
    p.setPen(Qt::NoPen);
    p.setBrush(flesh);
    p.drawPath(body);
    // A soft highlight on the upper left.
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawEllipse(QPointF(5, 8), 1.2, 2);

    p.setPen(line(QColor(0x8B, 0x5A, 0x2B), 1.1));
    p.setBrush(Qt::NoBrush);
    QPainterPath stem;
    stem.moveTo(8, 5.6);
    stem.quadTo(8, 3, 9.2, 1.4);
    p.drawPath(stem);

    QPainterPath leaf;
    leaf.moveTo(8.6, 3.6);
    leaf.quadTo(10.4, 0.6, 13.6, 1.6);
    leaf.quadTo(11.8, 4.6, 8.6, 3.6);
    leaf.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4C, 0xC2, 0x6A));
    p.drawPath(leaf);
}

void chevronDown(QPainter& p) {
    p.setPen(line(kGrey, 1.4));
    const QPointF points[] = {{1.5, 1.5}, {5, 5.5}, {8.5, 1.5}};
    p.drawPolyline(points, 3);
}

void switchMode(QPainter& p) {
    p.setPen(line(kInk, 1.4));
    p.drawLine(QPointF(2.5, 5), QPointF(13, 5));
    p.drawLine(QPointF(10, 2), QPointF(13, 5));
    p.drawLine(QPointF(13.5, 11), QPointF(3, 11));
    p.drawLine(QPointF(6, 14), QPointF(3, 11));
}

void eye(QPainter& p, bool open) {
    p.setPen(line(kLightGrey, 1.5));
    p.setBrush(Qt::NoBrush);
    QPainterPath lid;
    lid.moveTo(2, 10);
    lid.quadTo(10, 1, 18, 10);
    if (open) {
        lid.quadTo(10, 19, 2, 10);
        p.drawPath(lid);
        p.setBrush(kLightGrey);
        p.drawEllipse(QPointF(10, 10), 2.8, 2.8);
        return;
    }
    QPainterPath closed;
    closed.moveTo(2, 8);
    closed.quadTo(10, 16, 18, 8);
    p.drawPath(closed);
    p.drawLine(QPointF(5, 11.5), QPointF(3.5, 14));
    p.drawLine(QPointF(10, 12.8), QPointF(10, 15.8));
    p.drawLine(QPointF(15, 11.5), QPointF(16.5, 14));
}

void recordList(QPainter& p) {
    const QColor colour(0x00, 0xCE, 0xB0);
    p.setPen(line(colour, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(3, 1.5, 10, 13), 1.5, 1.5);
    p.drawLine(QPointF(5.5, 5), QPointF(10.5, 5));
    p.drawLine(QPointF(5.5, 8), QPointF(10.5, 8));
    p.drawLine(QPointF(5.5, 11), QPointF(8.5, 11));
}

// Sidebar icons: 15 points, drawn in one colour (grey, or white on the selected item).
void headset(QPainter& p, const QColor& c) {
    p.setPen(line(c, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2, 1.5, 11, 11), 0, 180 * 16);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(1.6, 7, 2.6, 4.5), 1, 1);
    p.drawRoundedRect(QRectF(10.8, 7, 2.6, 4.5), 1, 1);
    p.setBrush(Qt::NoBrush);
    QPainterPath mic;
    mic.moveTo(12, 11.5);
    mic.quadTo(12, 13.8, 8.5, 13.8);
    p.drawPath(mic);
}

void person(QPainter& p, const QColor& c) {
    p.setPen(line(c, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(7.5, 5), 3, 3);
    QPainterPath shoulders;
    shoulders.moveTo(2, 14);
    shoulders.cubicTo(2, 9.5, 13, 9.5, 13, 14);
    p.drawPath(shoulders);
}

void gear(QPainter& p, const QColor& c) {
    p.setPen(line(c, 1.3));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 8; ++i) {
        const double angle = i * M_PI / 4;
        p.drawLine(QPointF(7.5 + 4.6 * std::cos(angle), 7.5 + 4.6 * std::sin(angle)),
                   QPointF(7.5 + 6.3 * std::cos(angle), 7.5 + 6.3 * std::sin(angle)));
    }
    p.drawEllipse(QPointF(7.5, 7.5), 4.4, 4.4);
    p.drawEllipse(QPointF(7.5, 7.5), 1.8, 1.8);
}

void coin(QPainter& p, const QColor& c) {
    p.setPen(line(c, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(7.5, 7.5), 6, 6);
    p.drawLine(QPointF(5, 4.5), QPointF(7.5, 7.5));
    p.drawLine(QPointF(10, 4.5), QPointF(7.5, 7.5));
    p.drawLine(QPointF(7.5, 7.5), QPointF(7.5, 11.5));
    p.drawLine(QPointF(5.3, 8.3), QPointF(9.7, 8.3));
    p.drawLine(QPointF(5.3, 10.3), QPointF(9.7, 10.3));
}

void versionTag(QPainter& p, const QColor& c) {
    p.setPen(line(c, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(7.5, 7.5), 6, 6);
    p.drawLine(QPointF(7.5, 6.8), QPointF(7.5, 11));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(7.5, 4.5), 0.95, 0.95);
}

void card(QPainter& p, const QColor& c) {
    p.setPen(line(c, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(1.5, 3, 12, 9), 1.8, 1.8);
    p.drawLine(QPointF(1.5, 6), QPointF(13.5, 6));
    p.drawLine(QPointF(4, 9.5), QPointF(7, 9.5));
}

void gift(QPainter& p, const QColor& c) {
    p.setPen(line(c, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(2.5, 7, 10, 6.5));
    p.drawRect(QRectF(1.5, 4.5, 12, 2.5));
    p.drawLine(QPointF(7.5, 4.5), QPointF(7.5, 13.5));
    QPainterPath bow;
    bow.moveTo(7.5, 4.5);
    bow.cubicTo(5, 0.5, 2.5, 3, 5, 4.5);
    bow.moveTo(7.5, 4.5);
    bow.cubicTo(10, 0.5, 12.5, 3, 10, 4.5);
    p.drawPath(bow);
}

void exitDoor(QPainter& p, const QColor& c) {
    p.setPen(line(c, 1.3));
    p.setBrush(Qt::NoBrush);
    const QPointF frame[] = {{8, 2}, {2.5, 2}, {2.5, 13}, {8, 13}};
    p.drawPolyline(frame, 4);
    p.drawLine(QPointF(6, 7.5), QPointF(13.5, 7.5));
    p.drawLine(QPointF(11, 5), QPointF(13.5, 7.5));
    p.drawLine(QPointF(11, 10), QPointF(13.5, 7.5));
}

// The player's control: a teal disc with a play triangle or a pause pair.
void playerControl(QPainter& p, bool playing) {
    p.setPen(Qt::NoPen);
    p.setBrush(kTeal);
    p.drawEllipse(QRectF(0.5, 0.5, 22, 22));
    p.setBrush(Qt::white);
    if (playing) {
        p.drawRoundedRect(QRectF(7.5, 6.5, 2.6, 10), 1, 1);
        p.drawRoundedRect(QRectF(12.9, 6.5, 2.6, 10), 1, 1);
    } else {
        const QPointF triangle[] = {{9, 6.5}, {9, 16.5}, {17, 11.5}};
        p.drawPolygon(triangle, 3);
    }
}

// Share: a tray with an arrow leaving it upwards.
void shareMark(QPainter& p) {
    p.setPen(line(kGrey, 1.8));
    p.setBrush(Qt::NoBrush);
    const QPointF tray[] = {{7, 10}, {4.5, 10}, {4.5, 21.5}, {20.5, 21.5}, {20.5, 10}, {18, 10}};
    p.drawPolyline(tray, 6);
    p.drawLine(QPointF(12.5, 3.5), QPointF(12.5, 15));
    p.drawLine(QPointF(8.5, 7.5), QPointF(12.5, 3.5));
    p.drawLine(QPointF(16.5, 7.5), QPointF(12.5, 3.5));
}

// A payment method's badge: a rounded square in the method's colour with a white mark.
void chatPayBadge(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1A, 0xAD, 0x19));
    p.drawRoundedRect(QRectF(1, 1, 28, 28), 7, 7);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(5, 7, 13, 11));
    QPainterPath tail;
    tail.moveTo(8, 16);
    tail.lineTo(7, 20);
    tail.lineTo(11, 17);
    p.drawPath(tail);
    p.setBrush(QColor(0xEE, 0xFA, 0xEE));
    p.drawEllipse(QRectF(12, 12, 13, 10));
}

void walletPayBadge(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x16, 0x77, 0xFF));
    p.drawRoundedRect(QRectF(1, 1, 28, 28), 7, 7);
    // A currency sign: two arms meeting over a stem, crossed twice.
    p.setPen(line(Qt::white, 2.2));
    p.drawLine(QPointF(10, 7.5), QPointF(15, 14));
    p.drawLine(QPointF(20, 7.5), QPointF(15, 14));
    p.drawLine(QPointF(15, 14), QPointF(15, 23));
    p.drawLine(QPointF(10.5, 15.5), QPointF(19.5, 15.5));
    p.drawLine(QPointF(10.5, 19.5), QPointF(19.5, 19.5));
}

void emptyRing(QPainter& p, double side) {
    p.setPen(line(kLightGrey, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(1, 1, side - 2, side - 2));
}

void addSidebarIcon(std::vector<Picture>& list, const QString& name,
                    void (*draw)(QPainter&, const QColor&), bool withSelected) {
    list.push_back({name, QSizeF(15, 15), [draw](QPainter& p) { draw(p, kGrey); }});
    if (withSelected) {
        list.push_back({name + "_s", QSizeF(15, 15), [draw](QPainter& p) { draw(p, Qt::white); }});
    }
}

}  // namespace

const std::vector<Picture>& pictures() {
    static const std::vector<Picture> list = [] {
        std::vector<Picture> all;
        all.push_back({"logo", QSizeF(128, 128), logo});
        all.push_back({"close", QSizeF(20, 20), closeMark});
        all.push_back({"success", QSizeF(60, 60), [](QPainter& p) { checkOnDisc(p, 60, kTeal); }});
        all.push_back(
            {"ai_select", QSizeF(16, 16), [](QPainter& p) { checkOnDisc(p, 16, kTeal); }});
        all.push_back(
            {"tishi_l", QSizeF(40, 40), [](QPainter& p) { exclamationOnDisc(p, 40, kTeal); }});
        all.push_back(
            {"tishi_r", QSizeF(40, 40), [](QPainter& p) { exclamationOnDisc(p, 40, kOrange); }});
        // The update alert's card picture, at the card's size (397 × 255); the history panel
        // fits it, proportions kept, into a frame of another shape, so its edges fade out.
        all.push_back({"tip_bg", QSizeF(397, 255), [](QPainter& p) {
                           featheredTipBackground(p, {397, 255});
                       }});
        all.push_back({"tip_bg1", QSizeF(397, 255), [](QPainter& p) {
                           tipBackground(p, {397, 255});
                       }});
        all.push_back({"translate_down", QSizeF(10, 7), chevronDown});
        all.push_back({"swith_mode", QSizeF(16, 16), switchMode});
        all.push_back({"icon_pd_true", QSizeF(20, 20), [](QPainter& p) { eye(p, true); }});
        all.push_back({"icon_pd_false", QSizeF(20, 20), [](QPainter& p) { eye(p, false); }});
        all.push_back({"start_font_length", QSizeF(16, 16), recordList});
        all.push_back({"pingguo", QSizeF(16, 16), fruit});
        addSidebarIcon(all, "home_gj", headset, true);
        addSidebarIcon(all, "home_me", person, true);
        addSidebarIcon(all, "home_sz", gear, true);
        addSidebarIcon(all, "home_cz", coin, true);
        addSidebarIcon(all, "home_bb", versionTag, true);
        addSidebarIcon(all, "home_xbk", card, true);
        addSidebarIcon(all, "home_hd", gift, false);
        addSidebarIcon(all, "home_tui", exitDoor, false);
        all.push_back({"wav_play", QSizeF(23, 23), [](QPainter& p) { playerControl(p, false); }});
        all.push_back({"wav_stop", QSizeF(23, 23), [](QPainter& p) { playerControl(p, true); }});
        all.push_back({"share", QSizeF(25, 25), shareMark});
        all.push_back({"weixin_pay", QSizeF(30, 30), chatPayBadge});
        all.push_back({"zhifubao_pay", QSizeF(30, 30), walletPayBadge});
        all.push_back(
            {"pay_select", QSizeF(16, 16), [](QPainter& p) { checkOnDisc(p, 16, kTeal); }});
        all.push_back({"pay_unselect", QSizeF(16, 16), [](QPainter& p) { emptyRing(p, 16); }});
        addInterviewPictures(all);
        return all;
    }();
    return list;
}

}  // namespace pex::artwork
