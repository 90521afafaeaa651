#include "BeaconTransport/TXPLibrary/TXPLog.h"

#include <cstdio>
#include <iostream>
#include <mutex>

namespace pex {

namespace {

struct Hooks {
    std::mutex mutex;
    TXPConsoleSink sink;
    TXPAssertionBlock assertHelper;
};

Hooks& hooks() {
    static auto* instance = new Hooks;  // never destroyed: lines may come during exit
    return *instance;
}

void print(const std::string& line) {
    TXPConsoleSink sink;
    {
        std::lock_guard lock(hooks().mutex);
        sink = hooks().sink;
    }
    if (sink)
        sink(line);
    else
        std::cerr << line << '\n' << std::flush;
}

constexpr std::string_view kLibraryTag = "[BeaconTransport]";

}  // namespace

std::string TXPMessageCodeText(long code) {
    char text[32];
    std::snprintf(text, sizeof text, "I-TXP%06ld", code);
    return text;
}

void TXPConsoleLog(long code, int level, std::string_view message) {
    if (level < TXPConsoleThreshold) return;
    std::string line(kLibraryTag);
    line += "[" + TXPMessageCodeText(code) + "] ";
    line += message;
    print(line);
}

void TXPAssertionLog(bool fatal, std::string_view file, long line, std::string_view message) {
    std::string text(kLibraryTag);
    text +=
        "[" + TXPMessageCodeText(fatal ? TXPMessageCodeFatalAssertion : TXPMessageCodeAssertion);
    text += "] (" + std::string(file) + ":" + std::to_string(line) + ") : ";
    text += message;
    print(text);
}

void TXPSetConsoleSink(TXPConsoleSink sink) {
    std::lock_guard lock(hooks().mutex);
    hooks().sink = std::move(sink);
}

void TXPSetAssertHelperBlock(TXPAssertionBlock block) {
    std::lock_guard lock(hooks().mutex);
    hooks().assertHelper = std::move(block);
}

TXPAssertionBlock TXPAssertHelperBlock() {
    std::lock_guard lock(hooks().mutex);
    return hooks().assertHelper;
}

void TXPAssertionFailed(const char* file, long line, std::string_view message) {
    if (TXPAssertionBlock helper = TXPAssertHelperBlock()) {
        helper(std::string(message));
        return;
    }
    TXPAssertionLog(false, file ? std::string_view(file) : "<Unknown File>", line, message);
}

}  // namespace pex
