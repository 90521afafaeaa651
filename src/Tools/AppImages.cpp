#include "Tools/AppImages.h"

#include <QDir>
#include <QPixmapCache>

// Linked from a static library, the resources register only when something calls this.
static void registerAppImageResources() {
    Q_INIT_RESOURCE(AppImages);
}

namespace pex {

namespace {

constexpr const char* kFolder = ":/pexmora/images/";
constexpr const char* kSuffix = "@2x.png";

void ensureRegistered() {
    static const bool registered = [] {
        registerAppImageResources();
        return true;
    }();
    (void)registered;
}

}  // namespace

QString AppImages::resourcePath(const QString& name) {
    return QString::fromLatin1(kFolder) + name + QString::fromLatin1(kSuffix);
}

QPixmap AppImages::named(const QString& name) {
    ensureRegistered();
    if (name.isEmpty() || name.contains(QLatin1Char('/'))) return {};
    QPixmap pixmap;
    const QString path = resourcePath(name);
    if (!QPixmapCache::find(path, &pixmap)) {
        // The "@2x" in the file name makes Qt read it at a device pixel ratio of 2.
        if (!pixmap.load(path)) return {};
        QPixmapCache::insert(path, pixmap);
    }
    return pixmap;
}

QStringList AppImages::names() {
    ensureRegistered();
    QStringList names;
    const QString suffix = QString::fromLatin1(kSuffix);
    for (const QString& file : QDir(QString::fromLatin1(kFolder)).entryList(QDir::Files)) {
        if (file.endsWith(suffix)) names.append(file.chopped(suffix.size()));
    }
    names.sort();
    return names;
}

}  // namespace pex
