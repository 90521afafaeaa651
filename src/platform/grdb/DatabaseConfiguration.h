#pragma once
// How a connection is set up when it opens.

namespace pex {

struct DatabaseConfiguration {
    // Switched on as the connection opens: SQLite ignores the pragma inside a transaction.
    bool foreignKeysEnabled = true;
    // journal_mode=WAL with synchronous=NORMAL: a committed transaction survives a crash of
    // the process without an fsync per commit (a power loss may lose the last few).
    bool writeAheadLogging = true;
};

}  // namespace pex
