// Registers the crash reporter with the application object before the application's own code
// runs, so configuring the default application builds it, and has the sessions component wait
// for it as a subscriber.
#include "crashreporter/BCNCrashReporter.h"

namespace pex {
namespace {

struct BCNCrashReporterRegistration {
    BCNCrashReporterRegistration() { BCNCrashReporter::registerLibrary(); }
};

const BCNCrashReporterRegistration registration;

}  // namespace
}  // namespace pex
