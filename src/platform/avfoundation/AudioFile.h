#pragma once
// An audio file open for writing. Samples are written as 32-bit float; the container follows
// the file name's extension (".wav", ".aif"/".aiff", ".caf"; anything else is written as WAV).
// The file is created private to the user (0600). It is closed when the last reference goes.
// One writer at a time: callers serialise writes (the recorder writes from one queue).
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

#include "platform/avfoundation/AudioFileError.h"
#include "platform/avfoundation/AudioFormat.h"

namespace pex {

class AudioFile {
  public:
    struct OpenResult {
        std::shared_ptr<AudioFile> file;
        std::optional<AudioFileError> error;
    };

    // Creates or truncates the file at `path`.
    static OpenResult openForWriting(const std::filesystem::path& path, const AudioFormat& format);
    ~AudioFile();
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    // Writes whole frames of interleaved samples (one sample per frame for mono).
    std::optional<AudioFileError> write(std::span<const float> samples);

    const std::filesystem::path& url() const { return path_; }
    const AudioFormat& processingFormat() const { return format_; }

  private:
    struct Handle;
    AudioFile(std::filesystem::path path, AudioFormat format, std::unique_ptr<Handle> handle);

    std::filesystem::path path_;
    AudioFormat format_;
    std::unique_ptr<Handle> handle_;
};

}  // namespace pex
