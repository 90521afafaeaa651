#pragma once
// Small helpers between our texts and nanopb's allocated byte arrays, plus the two-pass
// encoder of the session event. Arrays are made with malloc and freed with free (or by
// pb_release), as the nanopb runtime expects.
#include <optional>
#include <string>
#include <string_view>

#include <pb.h>
#include <pb_decode.h>
#include <pb_encode.h>

#include "platform/foundation/Error.h"

namespace pex {

// Domain "BCNSESEncodeError", code -1, the description as the localised description.
ErrorRef BCNSESMakeEncodeError(const std::string& description);
// The stream's error text, or "(none)".
std::string BCNSESPBGetError(const pb_ostream_t& stream);
std::string BCNSESPBGetError(const pb_istream_t& stream);
// Sizes the message, then encodes it into exactly that many bytes. None on failure, with the
// reason in `error` when given.
std::optional<std::string> BCNSESEncodeProto(const pb_msgdesc_t* fields, const void* message,
                                             ErrorRef* error);
// A new array holding the bytes; null when allocation fails or the bytes do not fit the
// runtime's 16-bit length.
pb_bytes_array_t* BCNSESEncodeData(std::string_view data);
// The text as UTF-8 in a new array; none counts as the empty text.
pb_bytes_array_t* BCNSESEncodeString(const std::optional<std::string>& text);
std::string BCNSESDecodeData(const pb_bytes_array_t* array);
// "" for an absent or empty array, else its bytes.
std::string BCNSESDecodeString(const pb_bytes_array_t* array);
// Equal when lengths and bytes agree; an absent array equals an empty one.
bool BCNSESIsPBArrayEqual(const pb_bytes_array_t* a, const pb_bytes_array_t* b);
bool BCNSESIsPBStringEqual(const pb_bytes_array_t* a, const std::string& text);
bool BCNSESIsPBDataEqual(const pb_bytes_array_t* a, std::string_view data);
// The field number of the Apple member of the application information's one-of.
pb_size_t BCNSESGetAppleApplicationInfoTag();
// A kernel value by its system-control name; none when the system has no such value.
std::optional<std::string> BCNSESGetSysctlEntry(const std::string& name);

}  // namespace pex
