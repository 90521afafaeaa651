// Process entry: Qt's event loop drives the main queue; the application's start-up follows.
#include <QApplication>
#include <QLabel>

#include "platform/appkit/QtMainQueueDriver.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Pexmora");
    pex::installQtMainQueueDriver();

    QLabel window("Pexmora");
    window.setAlignment(Qt::AlignCenter);
    window.resize(750, 500);
    window.show();
    return QApplication::exec();
}
