#include "standin-service/ScriptedStream.h"

#include <chrono>

namespace pex::standin {

namespace {

// A client that stops reporting (it failed, or was cancelled) must not hold the server forever.
constexpr std::chrono::seconds kPatience{10};

}  // namespace

ScriptedStream::ScriptedStream(std::vector<std::string> pieces) : pieces_(std::move(pieces)) {}

Reply ScriptedStream::reply() {
    return Reply::produced([self = shared_from_this()] { return self->next(); });
}

std::optional<std::string> ScriptedStream::next() {
    std::unique_lock lock(mutex_);
    if (sentPieces_ >= pieces_.size()) return std::nullopt;
    progress_.wait_for(lock, kPatience, [&] { return received_ >= sentBytes_; });
    const std::string& piece = pieces_[sentPieces_++];
    sentBytes_ += piece.size();
    return piece;
}

void ScriptedStream::received(std::size_t bytes) {
    {
        std::lock_guard lock(mutex_);
        received_ += bytes;
    }
    progress_.notify_all();
}

std::size_t ScriptedStream::receivedBytes() const {
    std::lock_guard lock(mutex_);
    return received_;
}

}  // namespace pex::standin
