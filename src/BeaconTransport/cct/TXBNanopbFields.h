#pragma once
// nanopb callback fields of our messages: bytes from a string, and repeated submessages from
// a vector. What the callbacks point to must live until the message is encoded.
#include <pb_encode.h>

#include <string>
#include <vector>

namespace pex::nanopb {

inline bool encodeBytes(pb_ostream_t* stream, const pb_field_t* field, void* const* arg) {
    const auto* bytes = static_cast<const std::string*>(*arg);
    return pb_encode_tag_for_field(stream, field) &&
           pb_encode_string(stream, reinterpret_cast<const pb_byte_t*>(bytes->data()),
                            bytes->size());
}

inline void setBytes(pb_callback_t& callback, const std::string* bytes) {
    callback.funcs.encode = encodeBytes;
    callback.arg = const_cast<std::string*>(bytes);
}

template <typename Message>
struct RepeatedField {
    const pb_msgdesc_t* fields;
    std::vector<Message> items;
};

template <typename Message>
bool encodeRepeated(pb_ostream_t* stream, const pb_field_t* field, void* const* arg) {
    const auto* repeated = static_cast<const RepeatedField<Message>*>(*arg);
    for (const Message& item : repeated->items)
        if (!pb_encode_tag_for_field(stream, field) ||
            !pb_encode_submessage(stream, repeated->fields, &item))
            return false;
    return true;
}

template <typename Message>
void setRepeated(pb_callback_t& callback, RepeatedField<Message>& repeated) {
    callback.funcs.encode = encodeRepeated<Message>;
    callback.arg = &repeated;
}

}  // namespace pex::nanopb
