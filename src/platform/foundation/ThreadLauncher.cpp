#include "platform/foundation/ThreadLauncher.h"

#include <utility>

#include "platform/foundation/ThreadStartHook.h"

namespace pex {

std::thread launchThread(std::function<void()> body) {
    return std::thread([body = std::move(body)] {
        runThreadStartHook();
        body();
    });
}

std::jthread launchStoppableThread(std::function<void(std::stop_token)> body) {
    return std::jthread([body = std::move(body)](std::stop_token stop) {
        runThreadStartHook();
        body(std::move(stop));
    });
}

}  // namespace pex
