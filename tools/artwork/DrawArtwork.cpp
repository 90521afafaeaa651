// Writes every picture as <dir>/images/<name>@2x.png and the resource list <dir>/AppImages.qrc.
//     draw-artwork src/Tools
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>
#include <cstdio>

#include "Artwork.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw-artwork <folder of the image resources>\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir root(QString::fromLocal8Bit(argv[1]));
    if (!root.mkpath(QStringLiteral("images"))) {
        std::fprintf(stderr, "cannot create %s/images\n", argv[1]);
        return 1;
    }
    QString list;
    QTextStream qrc(&list);
    qrc << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/pexmora\">\n";
    for (const auto& picture : pex::artwork::pictures()) {
        const QSize pixels = (picture.points * 2).toSize();
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
            painter.scale(2, 2);
            picture.draw(painter);
        }
        const QString file = QStringLiteral("images/%1@2x.png").arg(picture.name);
        if (!image.save(root.filePath(file), "PNG", 9)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(root.filePath(file)));
            return 1;
        }
        qrc << "    <file>" << file << "</file>\n";
    }
    qrc << "</qresource>\n</RCC>\n";
    QFile out(root.filePath(QStringLiteral("AppImages.qrc")));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(list.toUtf8()) < 0) {
        std::fprintf(stderr, "cannot write AppImages.qrc\n");
        return 1;
    }
    std::printf("%zu pictures written to %s\n", pex::artwork::pictures().size(), argv[1]);
    return 0;
}
