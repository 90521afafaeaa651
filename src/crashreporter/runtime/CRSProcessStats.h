#pragma once
// The memory and time statistics of a crash record ("process_stats"), read from /proc with
// plain `read` into stack buffers so a crash handler can gather them.
#include <cstdint>

#include "crashreporter/runtime/CRSFile.h"

namespace pex {

// The system's active, inactive, locked and free memory, in bytes.
bool CRSProcessGetMemoryUsage(std::uint64_t* active, std::uint64_t* inactive, std::uint64_t* wired,
                              std::uint64_t* free);
// The process's virtual and resident size in bytes, and its user and system time in
// microseconds.
bool CRSProcessGetInfo(std::uint64_t* virtualSize, std::uint64_t* residentSize,
                       std::uint64_t* userTime, std::uint64_t* systemTime);
// Writes "process_stats"; writes nothing when either reading fails.
void CRSProcessRecordStats(CRSFile* file);

// Readers of the /proc texts, for tests.
bool CRSProcessParseMemInfo(const char* text, std::uint64_t* active, std::uint64_t* inactive,
                            std::uint64_t* wired, std::uint64_t* free);
bool CRSProcessParseStatTimes(const char* text, std::uint64_t* userTicks,
                              std::uint64_t* systemTicks);

}  // namespace pex
