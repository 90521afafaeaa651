#include "platform/appkit/QtMainQueueDriver.h"

#include <QCoreApplication>

#include "platform/appkit/OrderedWorkReceiver.h"
#include "platform/foundation/MainQueue.h"

namespace pex {

QtMainQueueDriver::QtMainQueueDriver() {
    MainQueue::adoptCurrentThreadAsMain();
    // Made once, on the main thread, while the application exists, and owned by it: no other
    // thread ever asks Qt for the application object. The main queue calls the driver under
    // its lock and removing the driver takes that lock, so no post is inside the driver once it
    // is removed.
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    auto* receiver = new OrderedWorkReceiver(app);
    MainQueue::setDriver([receiver](MainQueue::Work work) { receiver->post(std::move(work)); });
}

QtMainQueueDriver::~QtMainQueueDriver() {
    MainQueue::setDriver(nullptr);
}

}  // namespace pex
