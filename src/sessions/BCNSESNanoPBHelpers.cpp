#include "sessions/BCNSESNanoPBHelpers.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "beacon-core/UTLAppEnvironmentUtil.h"
#include "sessions/protos/sessions.pb.h"

namespace pex {

namespace {

// The kernel values asked for by their usual names, as this system calls them. The build
// version is the kernel release, as the crash reports give it.
std::string linuxSysctlName(const std::string& name) {
    if (name == "kern.osversion" || name == "kern.osrelease") return "kernel.osrelease";
    return name;
}

}  // namespace

ErrorRef BCNSESMakeEncodeError(const std::string& description) {
    return Error::make("BCNSESEncodeError", -1, {{Error::kDescriptionKey, description}});
}

std::string BCNSESPBGetError(const pb_ostream_t& stream) {
    const char* message = PB_GET_ERROR(&stream);
    return message ? message : "(none)";
}

std::string BCNSESPBGetError(const pb_istream_t& stream) {
    const char* message = PB_GET_ERROR(&stream);
    return message ? message : "(none)";
}

std::optional<std::string> BCNSESEncodeProto(const pb_msgdesc_t* fields, const void* message,
                                             ErrorRef* error) {
    pb_ostream_t sizing = PB_OSTREAM_SIZING;
    if (!pb_encode(&sizing, fields, message)) {
        if (error)
            *error = BCNSESMakeEncodeError("Error in nanopb encoding to get size: " +
                                           BCNSESPBGetError(sizing));
        return std::nullopt;
    }
    std::string bytes(sizing.bytes_written, '\0');
    pb_ostream_t output =
        pb_ostream_from_buffer(reinterpret_cast<pb_byte_t*>(bytes.data()), bytes.size());
    if (!pb_encode(&output, fields, message)) {
        if (error)
            *error = BCNSESMakeEncodeError("Error in nanopb encoding: " + BCNSESPBGetError(output));
        return std::nullopt;
    }
    return bytes;
}

pb_bytes_array_t* BCNSESEncodeData(std::string_view data) {
    if (data.size() > std::numeric_limits<pb_size_t>::max()) return nullptr;
    auto* array =
        static_cast<pb_bytes_array_t*>(std::malloc(PB_BYTES_ARRAY_T_ALLOCSIZE(data.size())));
    if (!array) return nullptr;
    array->size = static_cast<pb_size_t>(data.size());
    if (!data.empty()) std::memcpy(array->bytes, data.data(), data.size());
    return array;
}

pb_bytes_array_t* BCNSESEncodeString(const std::optional<std::string>& text) {
    return BCNSESEncodeData(text.value_or(std::string()));
}

std::string BCNSESDecodeData(const pb_bytes_array_t* array) {
    if (!array) return {};
    return std::string(reinterpret_cast<const char*>(array->bytes), array->size);
}

std::string BCNSESDecodeString(const pb_bytes_array_t* array) {
    if (!array || array->size == 0) return {};
    return BCNSESDecodeData(array);
}

bool BCNSESIsPBArrayEqual(const pb_bytes_array_t* a, const pb_bytes_array_t* b) {
    const std::size_t sizeA = a ? a->size : 0;
    const std::size_t sizeB = b ? b->size : 0;
    if (sizeA != sizeB) return false;
    return sizeA == 0 || std::memcmp(a->bytes, b->bytes, sizeA) == 0;
}

bool BCNSESIsPBStringEqual(const pb_bytes_array_t* a, const std::string& text) {
    return BCNSESIsPBDataEqual(a, text);
}

bool BCNSESIsPBDataEqual(const pb_bytes_array_t* a, std::string_view data) {
    const std::size_t size = a ? a->size : 0;
    if (size != data.size()) return false;
    return size == 0 || std::memcmp(a->bytes, data.data(), size) == 0;
}

pb_size_t BCNSESGetAppleApplicationInfoTag() {
    return beacon_appquality_sessions_ApplicationInfo_apple_app_info_tag;
}

std::optional<std::string> BCNSESGetSysctlEntry(const std::string& name) {
    return UTLAppEnvironmentUtil::getSysctlEntry(linuxSysctlName(name));
}

}  // namespace pex
