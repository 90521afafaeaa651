// gallery <outdir> [filter]: writes every registered view state (or those whose file name
// contains `filter`) as a PNG file. Exits non-zero when a state cannot be rendered or written.
#include <QApplication>
#include <QDir>
#include <cstdio>
#include <exception>

#include "Gallery.h"
#include "platform/appkit/QtMainQueueDriver.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: gallery <outdir> [filter]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);  // web views need it set first
    QApplication app(argc, argv);
    pex::QtMainQueueDriver mainQueueDriver;
    pex::ScopedManualClock clock;
    pex::gallery::setClock(&clock.clock());

    const QString outdir = QString::fromLocal8Bit(argv[1]);
    const std::string filter = argc == 3 ? argv[2] : "";
    if (!QDir().mkpath(outdir)) {
        std::fprintf(stderr, "gallery: cannot create %s\n", argv[1]);
        return 1;
    }
    int written = 0;
    int failed = 0;
    for (const auto& entry : pex::gallery::registrations()) {
        const std::string file = entry.fileName();
        if (!filter.empty() && file.find(filter) == std::string::npos) continue;
        QImage image;
        try {
            image = entry.render();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "gallery: %s: %s\n", file.c_str(), error.what());
        }
        const QString path = QDir(outdir).filePath(QString::fromStdString(file));
        if (image.isNull() || !image.save(path, "PNG")) {
            std::fprintf(stderr, "gallery: %s: not rendered\n", file.c_str());
            ++failed;
            continue;
        }
        std::printf("%s\n", qPrintable(path));
        ++written;
    }
    std::printf("%d pictures written, %d failed\n", written, failed);
    return failed == 0 && written > 0 ? 0 : 1;
}
