#include "platform/appkit/QtMainQueueDriver.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "platform/foundation/MainQueue.h"

namespace pex {

void installQtMainQueueDriver() {
    MainQueue::adoptCurrentThreadAsMain();
    MainQueue::setDriver([](MainQueue::Work work) {
        // Looked up on every post: work posted by a background thread while the process is
        // ending, after the application object is gone, is dropped rather than sent to it.
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
        }
    });
}

}  // namespace pex
