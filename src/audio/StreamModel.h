#pragma once
// One question to the answer endpoint, its settings and the answer received so far, with the
// two callbacks through which the answer reaches the caller. The caller fills every field
// before the stream starts; afterwards the stream client writes `responseText`.
#include <cstdint>
#include <functional>
#include <string>

namespace pex {

// How an answer stream ended.
enum class StreamOutcome {
    finished,   // the service sent its whole answer
    cancelled,  // `cancel` ended it; the text is what had arrived
    failed,     // no usable answer: transport failure, an error status, or no address
};

struct StreamModel {
    // The caller's identifier of the question; handed back by `didComplete`.
    std::int64_t id = 0;
    // Answer style, sent as "type".
    std::int64_t type = 0;
    // The question.
    std::string txt;
    // The position the user applies for, sent as "prompt".
    std::string role;
    std::string original_language;
    std::string trans_language;
    // The answer received so far.
    std::string responseText;
    // After each piece, with the whole answer so far.
    std::function<void(const std::string& responseText)> onUpdate;
    // Once, when the stream has ended, with the text that arrived (a `cancelled` or `failed`
    // stream may carry what came before it ended, or nothing).
    std::function<void(std::int64_t id, const std::string& responseText, StreamOutcome outcome)>
        didComplete;
};

}  // namespace pex
