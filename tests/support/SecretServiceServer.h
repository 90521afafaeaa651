#pragma once
// A private desktop keyring for tests: a message bus of its own (dbus-run-session, listening
// in a temporary folder) with a Secret Service on it (gnome-keyring-daemon, its keyrings in the
// same folder), whose login keyring is made and unlocked at start, so items are stored without
// any prompt. Nothing of the user's bus or keyrings is seen or touched.
//
// A process makes its session bus connection and its Secret Service proxy once and keeps them,
// and it is told to end when that bus goes away. So a test program has one keyring for its
// whole run (`shared()`), and the keyring outlives every test: its processes wait on a pipe
// that this process holds, and end when this process has ended, however it ends.
//
// From its start on, DBUS_SESSION_BUS_ADDRESS points this process, and every program it
// starts, at the private bus.
#include <sys/types.h>

#include <string>

#include "support/TestSupport.h"

namespace pex::test {

class SecretServiceServer {
  public:
    // The process's one keyring, started on first use. `isRunning` tells whether it is ready:
    // the bus answers and the unlocked login keyring is the default collection.
    static SecretServiceServer& shared();

    bool isRunning() const { return running_; }
    // "unix:path=<socket>", the value DBUS_SESSION_BUS_ADDRESS holds.
    std::string busAddress() const;
    // What the bus and the keyring printed, and the last readiness check's answer.
    std::string log() const;

    SecretServiceServer(const SecretServiceServer&) = delete;
    SecretServiceServer& operator=(const SecretServiceServer&) = delete;

  private:
    SecretServiceServer();
    bool start();
    bool defaultCollectionIsLogin() const;

    TempDir dir_;
    bool running_ = false;
};

}  // namespace pex::test
