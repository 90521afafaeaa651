#include "platform/appkit/QtMainQueueDriver.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "platform/foundation/MainQueue.h"

namespace pex {

QtMainQueueDriver::QtMainQueueDriver() {
    MainQueue::adoptCurrentThreadAsMain();
    // Captured once, on the main thread, while the application exists: no other thread ever
    // asks Qt for the application object. The main queue calls the driver under its lock and
    // removing the driver takes that lock, so no post is inside the driver once it is removed.
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    MainQueue::setDriver([app](MainQueue::Work work) {
        QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
    });
}

QtMainQueueDriver::~QtMainQueueDriver() {
    MainQueue::setDriver(nullptr);
}

}  // namespace pex
