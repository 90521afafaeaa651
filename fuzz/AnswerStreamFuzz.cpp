// The answer stream arrives in pieces cut anywhere; the line splitter reassembles lines and the
// client reads each "data: {...}" line. The first byte chooses the piece size, the rest is the
// stream. Splitting must give back exactly the bytes it was given, and reading any stream must
// end it once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "audio/StreamLineBuffer.h"
#include "audio/StreamingClient.h"

namespace {

class FuzzedStream : public pex::StreamingClient {
  public:
    explicit FuzzedStream(pex::StreamModel model) : StreamingClient(std::move(model)) {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    if (size == 0) return 0;
    const std::size_t piece = 1 + data[0] % 64;
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);

    // Lines and the remainder, joined again, are the stream; a tight limit drops long lines.
    StreamLineBuffer lines;
    StreamLineBuffer tight(8);
    std::string joined;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        const std::string_view chunk = stream.substr(at, piece);
        lines.append(chunk);
        while (const auto line = lines.nextLine()) joined.append(*line).push_back('\n');
        tight.append(chunk);
        while (const auto line = tight.nextLine()) {
            if (line->size() > 8) __builtin_trap();
        }
    }
    joined += lines.takeRemainder();
    (void)tight.takeRemainder();
    if (joined != stream || lines.pendingSize() != 0) __builtin_trap();

    // The client reads the same pieces as a successful reply.
    int completions = 0;
    StreamModel model;
    model.didComplete = [&completions](std::int64_t, const std::string&, StreamOutcome) {
        ++completions;
    };
    FuzzedStream client(std::move(model));
    HTTPURLResponse response;
    response.statusCode = 200;
    client.handleResponse(response);
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        client.handleReceivedData(stream.substr(at, piece));
    }
    client.handleCompletion(std::nullopt);
    if (completions != 1) __builtin_trap();
    return 0;
}
