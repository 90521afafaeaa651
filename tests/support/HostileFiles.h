#pragma once
// Files that are not what a reader expects, as a user's folder may hold them: a FIFO, whose
// blocking open would wait for a writer for ever, and a huge sparse file that costs no disk but
// would fill the memory if read whole. With the process's own count of bytes read, to show
// how much of such a file a reader took.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>

namespace pex::test {

inline bool makeFifo(const std::filesystem::path& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}

inline bool makeSparseFile(const std::filesystem::path& path, std::uint64_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool sized = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    ::close(fd);
    return sized;
}

// Bytes this process has read through read(2) and its kind so far ("rchar" of /proc/self/io).
inline std::uint64_t bytesReadByProcess() {
    std::ifstream io("/proc/self/io");
    for (std::string key; io >> key;) {
        std::uint64_t value = 0;
        io >> value;
        if (key == "rchar:") return value;
    }
    return 0;
}

// Runs `read`, which reads the FIFO at `fifo`, on a thread of its own. True when it returned
// within a few seconds. Otherwise a writer opens the FIFO, which releases a reader stuck in
// its open, so the test fails instead of hanging; false then.
inline bool finishesWithoutAWriter(const std::filesystem::path& fifo,
                                   const std::function<void()>& read) {
    auto reading = std::async(std::launch::async, read);
    if (reading.wait_for(std::chrono::seconds(5)) == std::future_status::ready) {
        reading.get();
        return true;
    }
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer >= 0) ::close(writer);  // a read after the open then meets the end at once
    reading.wait();
    return false;
}

}  // namespace pex::test
