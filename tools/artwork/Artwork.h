#pragma once
// The application's pictures, each drawn in code by a function working in points on a
// canvas of the picture's size; they are written out at twice that size.
#include <QSizeF>
#include <QString>
#include <functional>
#include <vector>

class QPainter;

namespace pex::artwork {

struct Picture {
    QString name;
    QSizeF points;
    std::function<void(QPainter&)> draw;
};

const std::vector<Picture>& pictures();

// The interview pages' pictures (InterviewArtwork.cpp).
void addInterviewPictures(std::vector<Picture>& list);

}  // namespace pex::artwork
