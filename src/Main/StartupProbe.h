#pragma once
// A developer's measuring aid for start-up time: with the environment variable
// PEXMORA_STARTUP_PROBE set, the first window that reaches the screen writes one line to
// standard error, "first-window <realtime ns> <title>", and the application quits. The
// start-up measurement (bench/startup-time.sh) compares that moment with the moment it
// started the program. With the value "stop" the process stops itself (SIGSTOP) right after
// writing the line, so that the measurement can read its memory and mapped libraries at that
// moment; it quits once continued. Without the variable nothing is installed.
namespace pex {

class StartupProbe {
  public:
    // Installs the probe on the running application when the variable asks for it.
    static void installIfAsked();
};

}  // namespace pex
