#pragma once
// Lets Qt's event loop drive the main queue: posted work runs as posted events of an object the
// application owns, on the application object's thread, for as long as this object lives. Declared
// right after the application object, it goes before it:
//
//     QApplication app(argc, argv);
//     QtMainQueueDriver driver;
//
// Work posted after the loop has ended: while the driver is installed it is queued in Qt's
// event queue and runs only if Qt's events are processed again; once the driver is gone
// it stays in the main queue's own run loop, which nothing runs in the application, so it never
// runs. What must happen before the process ends (a session's final usage report, its recording
// closed) is therefore done while the loop still runs, before the loop is quit.
namespace pex {

class QtMainQueueDriver {
  public:
    // The calling thread becomes the main thread. The application object must exist.
    QtMainQueueDriver();
    // Once it returns no thread reaches the application object through the main queue: a post
    // in flight has finished.
    ~QtMainQueueDriver();
    QtMainQueueDriver(const QtMainQueueDriver&) = delete;
    QtMainQueueDriver& operator=(const QtMainQueueDriver&) = delete;
};

}  // namespace pex
