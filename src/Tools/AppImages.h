#pragma once
// The application's own pictures (the logo, the sidebar and tip icons, ...), shipped as Qt
// resources: images/<name>@2x.png in this folder, drawn at twice their size in points.
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace pex {

class AppImages {
  public:
    // The picture named `name`, sized in points; a null pixmap when there is none.
    static QPixmap named(const QString& name);
    // Every name there is a picture for, sorted.
    static QStringList names();
    // The resource path of `name` (whether or not it exists).
    static QString resourcePath(const QString& name);
};

}  // namespace pex
