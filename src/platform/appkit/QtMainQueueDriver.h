#pragma once
// Lets Qt's event loop drive the main queue: posted work runs as queued calls on the
// application object's thread. Call once after the QApplication exists.
namespace pex {
void installQtMainQueueDriver();
}
