#pragma once
// The crash record writer. A record file (".clsrecord") is a stream of lines, each one JSON
// object with a single key, the section name:
//
//   {"s":{"a":1,"b":"x"}}
//
// No whitespace is written; numbers are decimal (addresses too); plain strings are JSON
// strings; user texts are hex-encoded strings (two lowercase hex digits per byte). A file cut
// off by a dying process still yields every complete line.
//
// After a successful open nothing here allocates, locks or formats through the C library:
// the writer is used inside crash handlers. The record lives in the caller's storage (usually
// the handler's stack) and holds its own write buffer.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace pex {

inline constexpr std::size_t kCRSFileWriteBufferSize = 1000;

struct CRSFile {
    int fd = -1;
    int collectionDepth = 0;
    bool needComma = false;
    bool bufferWrites = false;
    // Waiting bytes: never more than 999, written out 999 at a time.
    std::size_t writeBufferLength = 0;
    std::uint64_t bytesWritten = 0;
    char writeBuffer[kCRSFileWriteBufferSize] = {};
};

// Opens `path` write-only, created private to the user, appending or truncating. When
// appending, bytesWritten starts at the file's current size.
bool CRSFileInitWithPathMode(CRSFile* file, const char* path, bool append, bool bufferWrites);
bool CRSFileInit(CRSFile* file, const char* path, bool bufferWrites);
// Flushes, stores the final size through `finalSize` when given, closes; true on success.
bool CRSFileCloseWithOffset(CRSFile* file, std::uint64_t* finalSize);
bool CRSFileClose(CRSFile* file);
void CRSFileFlushWriteBuffer(CRSFile* file);
bool CRSFileIsOpen(const CRSFile* file);

// Writes all `length` bytes to `fd`, retrying short writes and interrupted calls, at most
// 50 attempts in all. True only when every byte went out.
bool CRSFileWriteWithRetries(int fd, const void* bytes, std::size_t length);

void CRSFileWriteSectionStart(CRSFile* file, const char* name);
void CRSFileWriteSectionEnd(CRSFile* file);
void CRSFileWriteHashStart(CRSFile* file);
void CRSFileWriteHashEnd(CRSFile* file);
void CRSFileWriteHashKey(CRSFile* file, const char* name);
void CRSFileWriteHashEntryUint64(CRSFile* file, const char* key, std::uint64_t value);
void CRSFileWriteHashEntryInt64(CRSFile* file, const char* key, std::int64_t value);
// A plain string, or null when `value` is null.
void CRSFileWriteHashEntryString(CRSFile* file, const char* key, const char* value);
// Start-up variants taking a string object (not for crash time).
void CRSFileWriteHashEntryNSString(CRSFile* file, const char* key,
                                   const std::optional<std::string>& value);
void CRSFileWriteHashEntryNSStringUnlessNilOrEmpty(CRSFile* file, const char* key,
                                                   const std::optional<std::string>& value);
void CRSFileWriteHashEntryHexEncodedString(CRSFile* file, const char* key, const char* value);
void CRSFileWriteHashEntryBoolean(CRSFile* file, const char* key, bool value);
void CRSFileWriteArrayStart(CRSFile* file);
void CRSFileWriteArrayEnd(CRSFile* file);
void CRSFileWriteArrayEntryUint64(CRSFile* file, std::uint64_t value);
void CRSFileWriteArrayEntryString(CRSFile* file, const char* value);
void CRSFileWriteArrayEntryHexEncodedString(CRSFile* file, const char* value);
// Bytes already in record syntax, written as they are.
void CRSFileWriteStringUnquoted(CRSFile* file, const char* text);

}  // namespace pex
