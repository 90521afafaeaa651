#pragma once
// Readers that take a path, not bytes, get the fuzz input through this file: one per process,
// rewritten for every input and removed once the input has been read.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

class FuzzInputFile {
  public:
    FuzzInputFile(const std::uint8_t* data, std::size_t size) {
        std::ofstream out(path(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ~FuzzInputFile() { std::filesystem::remove(path()); }
    FuzzInputFile(const FuzzInputFile&) = delete;
    FuzzInputFile& operator=(const FuzzInputFile&) = delete;

    static const std::filesystem::path& path() {
        static const std::filesystem::path file =
            std::filesystem::temp_directory_path() /
            ("pexmora-fuzz-" + std::to_string(getpid()) + ".plist");
        return file;
    }
};
