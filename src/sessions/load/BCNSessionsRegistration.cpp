// Load-time registration of the sessions component with the SDK application object, which
// registers it as a library ("bcn-ses") when the first application is configured.
#include "beacon-core/BCNApp.h"
#include "sessions/Sessions.h"

namespace pex {
namespace {

const BCNClassRegistrar registration(Sessions::libraryClass());

}  // namespace
}  // namespace pex
