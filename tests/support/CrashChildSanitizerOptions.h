#pragma once
// Crash children built with the sanitizers: the sanitizers install fault handlers of their
// own, so a child that is meant to crash leaves the fault signals to the crash reporter.
namespace pex {

constexpr char kChildSanitizerOptions[] =
    "detect_leaks=0:handle_segv=0:handle_abort=0:handle_sigbus=0:handle_sigfpe=0:"
    "handle_sigill=0:handle_sigtrap=0:use_sigaltstack=0:allow_user_segv_handler=1";
constexpr char kChildUndefinedSanitizerOptions[] =
    "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0";

}  // namespace pex
