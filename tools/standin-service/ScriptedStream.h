#pragma once
// A streamed reply cut exactly where a test says. Each piece goes out only once the client has
// reported every byte before it, so the client reads one piece at a time and the cuts between
// pieces are the cuts it sees:
//
//   auto stream = std::make_shared<ScriptedStream>(std::vector<std::string>{"data: {", "...\n"});
//   service.addApiPath("POST", "/ai/meet", [stream](const Call&) { return stream->reply(); });
//   // the client calls stream->received(chunk.size()) for each chunk it takes in
//
// Combined with Fault::brokenStream() the connection drops after the first piece.
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "standin-service/StandinService.h"

namespace pex::standin {

class ScriptedStream : public std::enable_shared_from_this<ScriptedStream> {
  public:
    explicit ScriptedStream(std::vector<std::string> pieces);

    // The reply that sends the pieces; one reply per stream.
    Reply reply();
    // The client took in `bytes` more bytes of the reply.
    void received(std::size_t bytes);
    // Bytes the client has reported so far.
    std::size_t receivedBytes() const;

  private:
    std::optional<std::string> next();

    const std::vector<std::string> pieces_;
    mutable std::mutex mutex_;
    std::condition_variable progress_;
    std::size_t received_ = 0;
    std::size_t sentPieces_ = 0;
    std::size_t sentBytes_ = 0;
};

}  // namespace pex::standin
