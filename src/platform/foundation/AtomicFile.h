#pragma once
// File operations that never leave a half-written file and never replace a file by accident:
// whole-file reads, atomic whole-file writes (temporary file, flush, rename) and moving a
// file aside under a fresh name.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace pex {

class AtomicFile {
  public:
    // The most a read takes unless its caller names a limit of its own: far more than any
    // settings or state file the application keeps.
    static constexpr std::size_t kDefaultReadLimit = 16 * 1024 * 1024;

    // The whole content of `file`; absent with `error` set when it cannot be read
    // (std::errc::no_such_file_or_directory when it does not exist). Only a regular file is
    // read, and opening never waits (a FIFO or a device in its place is refused at once, with
    // std::errc::invalid_argument, or is_a_directory for a folder). A file longer than
    // `limit` bytes is refused with std::errc::file_too_large after reading no more than
    // `limit` + 1 bytes of it.
    static std::optional<std::string> read(const std::filesystem::path& file,
                                           std::error_code& error,
                                           std::size_t limit = kDefaultReadLimit);

    // Replaces `file` with `bytes` in one step: readers see the old or the new content, never
    // a mix. Missing parent folders are created (0700); the new file gets `permissions`. Any
    // file name the file system takes can be written: the temporary file has a short name of
    // its own in the same folder.
    static std::error_code write(
        const std::filesystem::path& file, std::string_view bytes,
        std::filesystem::perms permissions = std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_write);

    // Makes every file and folder the process creates from now on the user's alone (umask
    // 077), remembering the umask it was started with for userFilePermissions().
    static void makeNewFilesPrivate();

    // The mode a program gives a new file the user makes: 0666 less the umask the user started
    // the process with (the current one if makeNewFilesPrivate() was never called). For files
    // meant for the user to keep or hand on, not for the application's own data.
    static std::filesystem::perms userFilePermissions();

    // The local time as "YYYYMMDD-HHMMSS", for the names of files moved aside.
    static std::string timestamp();

    // Renames `file` to "<file><suffix>", or "<file><suffix>-2", "-3" ... when taken, never
    // replacing an existing file. Returns the new path, or absent with `error` set.
    static std::optional<std::filesystem::path> moveAside(const std::filesystem::path& file,
                                                          const std::string& suffix,
                                                          std::error_code& error);
};

}  // namespace pex
