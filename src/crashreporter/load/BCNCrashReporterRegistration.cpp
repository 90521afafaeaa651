// Registers the crash reporter with the application object before the application's own code
// runs, so configuring the default application builds it.
#include "beacon-core/BCNApp.h"
#include "crashreporter/BCNCrashReporter.h"

namespace pex {
namespace {

const BCNLibraryRegistrar registration(BCNCrashReporter::libraryClass(),
                                       BCNCrashReporter::kLibraryName);

}  // namespace
}  // namespace pex
