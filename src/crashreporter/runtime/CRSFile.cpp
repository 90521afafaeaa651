#include "crashreporter/runtime/CRSFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "crashreporter/runtime/CRSHex.h"
#include "crashreporter/runtime/CRSLog.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSUTF8.h"

namespace pex {

namespace {

constexpr int kMaxWriteAttempts = 50;

void writeBytes(CRSFile* file, const char* bytes, std::size_t length) {
    if (!file->bufferWrites) {
        if (CRSFileWriteWithRetries(file->fd, bytes, length)) file->bytesWritten += length;
        return;
    }
    constexpr std::size_t kChunk = kCRSFileWriteBufferSize - 1;
    while (file->writeBufferLength + length >= kCRSFileWriteBufferSize) {
        const std::size_t fill = kChunk - file->writeBufferLength;
        std::memcpy(file->writeBuffer + file->writeBufferLength, bytes, fill);
        if (CRSFileWriteWithRetries(file->fd, file->writeBuffer, kChunk)) {
            file->bytesWritten += kChunk;
        }
        file->writeBufferLength = 0;
        bytes += fill;
        length -= fill;
    }
    std::memcpy(file->writeBuffer + file->writeBufferLength, bytes, length);
    file->writeBufferLength += length;
}

void writeText(CRSFile* file, const char* text) {
    writeBytes(file, text, std::strlen(text));
}

void writeChar(CRSFile* file, char c) {
    writeBytes(file, &c, 1);
}

void writeCommaIfNeeded(CRSFile* file) {
    if (file->needComma) writeChar(file, ',');
}

void openCollection(CRSFile* file, char bracket) {
    writeCommaIfNeeded(file);
    writeChar(file, bracket);
    ++file->collectionDepth;
    file->needComma = false;
}

void closeCollection(CRSFile* file, char bracket) {
    writeChar(file, bracket);
    if (file->collectionDepth > 0) {
        file->needComma = file->collectionDepth != 1;
        --file->collectionDepth;
    }
}

void writeUnsigned(CRSFile* file, std::uint64_t value) {
    char digits[21];
    std::size_t start = sizeof digits;
    do {
        digits[--start] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    writeBytes(file, digits + start, sizeof digits - start);
}

void writeSigned(CRSFile* file, std::int64_t value) {
    if (value < 0) {
        writeChar(file, '-');
        // Negating in unsigned arithmetic keeps the most negative value whole.
        writeUnsigned(file, 0 - static_cast<std::uint64_t>(value));
    } else {
        writeUnsigned(file, static_cast<std::uint64_t>(value));
    }
}

// Writes `text` as a JSON string: quotes and backslashes escaped, control bytes as \u00XX,
// and every byte that is not part of well-formed UTF-8 replaced by U+FFFD, so each line stays
// valid JSON whatever the text holds.
void writeQuoted(CRSFile* file, const char* text) {
    char chunk[64];
    std::size_t used = 0;
    auto put = [&](const char* bytes, std::size_t length) {
        if (used + length > sizeof chunk) {
            writeBytes(file, chunk, used);
            used = 0;
        }
        std::memcpy(chunk + used, bytes, length);
        used += length;
    };
    put("\"", 1);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
    const std::size_t length = std::strlen(text);
    for (std::size_t at = 0; at < length;) {
        const std::uint8_t byte = bytes[at];
        if (byte == '"' || byte == '\\') {
            const char escaped[2] = {'\\', static_cast<char>(byte)};
            put(escaped, 2);
            ++at;
        } else if (byte < 0x20) {
            char escaped[6] = {'\\', 'u', '0', '0', 0, 0};
            CRSHexFromByte(byte, escaped + 4);
            put(escaped, 6);
            ++at;
        } else {
            const std::size_t sequence = CRSUTF8SequenceLength(bytes + at, length - at);
            if (sequence == 0) {
                put("\xEF\xBF\xBD", 3);
                ++at;
            } else {
                put(text + at, sequence);
                at += sequence;
            }
        }
    }
    put("\"", 1);
    writeBytes(file, chunk, used);
}

void writeStringValue(CRSFile* file, const char* value) {
    if (value == nullptr) {
        writeText(file, "null");
    } else {
        writeQuoted(file, value);
    }
}

void writeHexEncodedValue(CRSFile* file, const char* value) {
    if (value == nullptr) {
        writeText(file, "null");
        return;
    }
    writeChar(file, '"');
    char pairs[32];
    std::size_t used = 0;
    for (const char* c = value; *c != '\0'; ++c) {
        CRSHexFromByte(static_cast<std::uint8_t>(*c), pairs + used);
        used += 2;
        if (used == sizeof pairs) {
            writeBytes(file, pairs, used);
            used = 0;
        }
    }
    writeBytes(file, pairs, used);
    writeChar(file, '"');
}

}  // namespace

bool CRSFileWriteWithRetries(int fd, const void* bytes, std::size_t length) {
    const auto* remaining = static_cast<const char*>(bytes);
    std::size_t left = length;
    if (left == 0) return true;
    for (int attempt = 0; attempt < kMaxWriteAttempts; ++attempt) {
        const ssize_t written = write(fd, remaining, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0 || static_cast<std::size_t>(written) > left) return false;
        if (static_cast<std::size_t>(written) == left) return true;
        remaining += written;
        left -= static_cast<std::size_t>(written);
    }
    return false;
}

bool CRSFileInitWithPathMode(CRSFile* file, const char* path, bool append, bool bufferWrites) {
    if (file == nullptr) {
        CRSSDKLogWarn("Error: file is null\n");
        return false;
    }
    if (path == nullptr) {
        CRSSDKLogWarn("Error: file descriptor invalid\n");
        return false;
    }
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    const int fd = open(path, flags, 0600);
    if (fd < 0) {
        CRSSDKLogWarn("Error: Unable to open file %s\n", strerrorname_np(errno));
        CRSSDKLogWarn("Error: file descriptor invalid\n");
        return false;
    }
    *file = CRSFile{};
    file->fd = fd;
    file->bufferWrites = bufferWrites;
    if (append) {
        struct stat status;
        if (fstat(fd, &status) != 0) {
            // Crash-time code: only the crash-time log, which neither allocates nor locks.
            CRSSDKLogError("Failed to read filesize from %s with error %s\n", path,
                           strerrorname_np(errno));
            close(fd);
            file->fd = -1;
            return false;
        }
        if (status.st_size >= 1) file->bytesWritten += static_cast<std::uint64_t>(status.st_size);
    }
    return true;
}

bool CRSFileInit(CRSFile* file, const char* path, bool bufferWrites) {
    return CRSFileInitWithPathMode(file, path, true, bufferWrites);
}

void CRSFileFlushWriteBuffer(CRSFile* file) {
    if (!file->bufferWrites || file->writeBufferLength == 0) return;
    if (CRSFileWriteWithRetries(file->fd, file->writeBuffer, file->writeBufferLength)) {
        file->bytesWritten += file->writeBufferLength;
    }
    file->writeBufferLength = 0;
}

bool CRSFileCloseWithOffset(CRSFile* file, std::uint64_t* finalSize) {
    if (file == nullptr) {
        CRSSDKLogWarn("Error: file is null\n");
        return false;
    }
    CRSFileFlushWriteBuffer(file);
    if (finalSize != nullptr) *finalSize = file->bytesWritten;
    if (close(file->fd) != 0) {
        CRSSDKLogWarn("Error: Unable to close file %s\n", strerrorname_np(errno));
        return false;
    }
    *file = CRSFile{};
    return true;
}

bool CRSFileClose(CRSFile* file) {
    return CRSFileCloseWithOffset(file, nullptr);
}

bool CRSFileIsOpen(const CRSFile* file) {
    return file != nullptr && file->fd >= 0;
}

void CRSFileWriteSectionStart(CRSFile* file, const char* name) {
    CRSFileWriteHashStart(file);
    CRSFileWriteHashKey(file, name);
}

void CRSFileWriteSectionEnd(CRSFile* file) {
    CRSFileWriteHashEnd(file);
    writeChar(file, '\n');
}

void CRSFileWriteHashStart(CRSFile* file) {
    openCollection(file, '{');
}
void CRSFileWriteHashEnd(CRSFile* file) {
    closeCollection(file, '}');
}
void CRSFileWriteArrayStart(CRSFile* file) {
    openCollection(file, '[');
}
void CRSFileWriteArrayEnd(CRSFile* file) {
    closeCollection(file, ']');
}

void CRSFileWriteHashKey(CRSFile* file, const char* name) {
    writeCommaIfNeeded(file);
    writeQuoted(file, name);
    writeChar(file, ':');
    file->needComma = false;
}

void CRSFileWriteHashEntryUint64(CRSFile* file, const char* key, std::uint64_t value) {
    CRSFileWriteHashKey(file, key);
    writeUnsigned(file, value);
    file->needComma = true;
}

void CRSFileWriteHashEntryInt64(CRSFile* file, const char* key, std::int64_t value) {
    CRSFileWriteHashKey(file, key);
    writeSigned(file, value);
    file->needComma = true;
}

void CRSFileWriteHashEntryString(CRSFile* file, const char* key, const char* value) {
    CRSFileWriteHashKey(file, key);
    writeStringValue(file, value);
    file->needComma = true;
}

void CRSFileWriteHashEntryNSString(CRSFile* file, const char* key,
                                   const std::optional<std::string>& value) {
    CRSFileWriteHashEntryString(file, key, value ? value->c_str() : nullptr);
}

void CRSFileWriteHashEntryNSStringUnlessNilOrEmpty(CRSFile* file, const char* key,
                                                   const std::optional<std::string>& value) {
    if (value && !value->empty()) CRSFileWriteHashEntryNSString(file, key, value);
}

void CRSFileWriteHashEntryHexEncodedString(CRSFile* file, const char* key, const char* value) {
    CRSFileWriteHashKey(file, key);
    writeHexEncodedValue(file, value);
    file->needComma = true;
}

void CRSFileWriteHashEntryBoolean(CRSFile* file, const char* key, bool value) {
    CRSFileWriteHashKey(file, key);
    writeText(file, value ? "true" : "false");
    file->needComma = true;
}

void CRSFileWriteArrayEntryUint64(CRSFile* file, std::uint64_t value) {
    writeCommaIfNeeded(file);
    writeUnsigned(file, value);
    file->needComma = true;
}

void CRSFileWriteArrayEntryString(CRSFile* file, const char* value) {
    writeCommaIfNeeded(file);
    writeStringValue(file, value);
    file->needComma = true;
}

void CRSFileWriteArrayEntryHexEncodedString(CRSFile* file, const char* value) {
    writeCommaIfNeeded(file);
    writeHexEncodedValue(file, value);
    file->needComma = true;
}

void CRSFileWriteStringUnquoted(CRSFile* file, const char* text) {
    writeText(file, text);
}

}  // namespace pex
