// Pictures of the interview pages: the role banner of the AI settings page, the résumé upload
// icon and the three interview-type options.
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "Artwork.h"

namespace pex::artwork {

namespace {

const QColor kTeal(0x19, 0xCF, 0xAE);
const QColor kDeepTeal(0x0F, 0xA8, 0x8D);

const QColor kOrange(0xFF, 0x9F, 0x43);
const QColor kBlue(0x4A, 0x90, 0xE2);

QPen line(const QColor& colour, double width) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// The role banner (350 × 130): a pale card with a person at a desk on the right; the page
// writes "岗位及角色" over its upper left.
void roleBanner(QPainter& p) {
    QLinearGradient fill(0, 0, 350, 130);
    fill.setColorAt(0, QColor(0xF4, 0xFD, 0xFA));
    fill.setColorAt(1, QColor(0xCF, 0xF3, 0xEA));
    p.setPen(QPen(QColor(0xB8, 0xEB, 0xDF), 1));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0.5, 0.5, 349, 129), 14, 14);
    // Lines of a position description under the title.
    p.setPen(line(QColor(0x9A, 0xDF, 0xCF), 4));
    p.drawLine(QPointF(22, 62), QPointF(150, 62));
    p.drawLine(QPointF(22, 78), QPointF(190, 78));
    p.drawLine(QPointF(22, 94), QPointF(120, 94));
    // A pencil: the text is to be written.
    p.setPen(line(kDeepTeal, 3));
    p.drawLine(QPointF(200, 100), QPointF(222, 78));
    p.setBrush(kOrange);
    p.setPen(Qt::NoPen);
    QPainterPath tip;
    tip.moveTo(196, 104);
    tip.lineTo(199, 97);
    tip.lineTo(203, 101);
    tip.closeSubpath();
    p.drawPath(tip);
    // The person: head and shoulders behind a desk.
    p.setBrush(kTeal);
    p.drawEllipse(QPointF(285, 46), 17, 17);
    QPainterPath body;
    body.moveTo(250, 104);
    body.cubicTo(252, 74, 318, 74, 320, 104);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(kDeepTeal);
    p.drawRoundedRect(QRectF(236, 102, 98, 10), 3, 3);
    // A tie.
    p.setBrush(Qt::white);
    QPainterPath tie;
    tie.moveTo(285, 72);
    tie.lineTo(290, 80);
    tie.lineTo(285, 98);
    tie.lineTo(280, 80);
    tie.closeSubpath();
    p.drawPath(tie);
}

// The upload icon (18 × 20): a page with a folded corner and an arrow up. Drawn in black; the
// card tints it.
void uploadDocument(QPainter& p) {
    p.setPen(line(Qt::black, 1.5));
    p.setBrush(Qt::NoBrush);
    QPainterPath page;
    page.moveTo(2, 1);
    page.lineTo(11, 1);
    page.lineTo(16, 6);
    page.lineTo(16, 19);
    page.lineTo(2, 19);
    page.closeSubpath();
    p.drawPath(page);
    p.drawLine(QPointF(11, 1), QPointF(11, 6));
    p.drawLine(QPointF(11, 6), QPointF(16, 6));
    p.drawLine(QPointF(9, 16), QPointF(9, 9));
    p.drawLine(QPointF(6, 12), QPointF(9, 9));
    p.drawLine(QPointF(12, 12), QPointF(9, 9));
}

// The disc every option picture (40 × 40) is drawn on.
void optionDisc(QPainter& p, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(2, 2, 36, 36));
}

void domestic(QPainter& p) {
    optionDisc(p, kTeal);
    // A building with a flag: at home.
    p.setPen(line(Qt::white, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(13, 18, 14, 11));
    p.drawLine(QPointF(11, 18), QPointF(29, 18));
    p.drawLine(QPointF(20, 18), QPointF(20, 10));
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    p.drawRect(QRectF(20, 10, 6, 4));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(18, 23, 4, 6));
}

void overseas(QPainter& p) {
    optionDisc(p, kBlue);
    // A globe.
    p.setPen(line(Qt::white, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(11, 11, 18, 18));
    p.drawEllipse(QRectF(16, 11, 8, 18));
    p.drawLine(QPointF(11, 20), QPointF(29, 20));
}

void either(QPainter& p) {
    optionDisc(p, kOrange);
    // Two overlapping rings: both kinds.
    p.setPen(line(Qt::white, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(10, 14, 13, 13));
    p.drawEllipse(QRectF(17, 14, 13, 13));
}

// The session window's pin (26 × 26), on the dark translucent window: a push pin, teal and
// upright while the window stays on top ("translate_up"), grey and tilted when it does not
// ("translate_up1").
void pin(QPainter& p, bool pinned) {
    const QColor colour = pinned ? kTeal : QColor(0xB0, 0xB4, 0xB8);
    p.translate(13, 13);
    if (!pinned) p.rotate(40);
    p.translate(-13, -13);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(9, 3, 8, 3), 1.5, 1.5);
    QPainterPath body;
    body.moveTo(10, 6);
    body.lineTo(16, 6);
    body.lineTo(17.5, 14);
    body.lineTo(8.5, 14);
    body.closeSubpath();
    p.drawPath(body);
    p.drawRoundedRect(QRectF(6, 14, 14, 2.5), 1.2, 1.2);
    p.setPen(line(colour, 1.6));
    p.drawLine(QPointF(13, 16.5), QPointF(13, 23.5));
}

// The scroll-to-bottom button (30 × 30): a white arrow down to a bar on a dark disc.
void scrollDown(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 140));
    p.drawEllipse(QRectF(1, 1, 28, 28));
    p.setPen(line(Qt::white, 2));
    p.drawLine(QPointF(15, 8), QPointF(15, 19));
    const QPointF head[] = {{10, 14.5}, {15, 19.5}, {20, 14.5}};
    p.drawPolyline(head, 3);
    p.drawLine(QPointF(10, 22.5), QPointF(20, 22.5));
}

}  // namespace

void addInterviewPictures(std::vector<Picture>& list) {
    list.push_back({"start_icon", QSizeF(350, 130), roleBanner});
    list.push_back({"up_word", QSizeF(18, 20), uploadDocument});
    list.push_back({"ai_guonei", QSizeF(40, 40), domestic});
    list.push_back({"ai_guowai", QSizeF(40, 40), overseas});
    list.push_back({"ai_guoneiwai", QSizeF(40, 40), either});
    list.push_back({"translate_up", QSizeF(26, 26), [](QPainter& p) { pin(p, true); }});
    list.push_back({"translate_up1", QSizeF(26, 26), [](QPainter& p) { pin(p, false); }});
    list.push_back({"interview_down", QSizeF(30, 30), scrollDown});
}

}  // namespace pex::artwork
