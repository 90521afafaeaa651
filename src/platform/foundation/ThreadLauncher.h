#pragma once
// Where every thread of the product's own starts: the new thread runs the thread-start hook
// (its alternate signal stack, so a stack overflow on it can still be recorded) before its body.
#include <functional>
#include <stop_token>
#include <thread>

namespace pex {

// A new thread that runs the thread-start hook, then `body`.
std::thread launchThread(std::function<void()> body);
// The same for a thread that is asked to stop (and joined) when its handle goes.
std::jthread launchStoppableThread(std::function<void(std::stop_token)> body);

}  // namespace pex
