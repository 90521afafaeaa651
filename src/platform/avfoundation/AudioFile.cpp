#include "platform/avfoundation/AudioFile.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

namespace pex {

struct AudioFile::Handle {
    SNDFILE* file = nullptr;
    int fd = -1;  // ours: the library is told not to close it
    ~Handle() {
        if (file) sf_close(file);
        if (fd >= 0) ::close(fd);
    }
};

namespace {

int containerFor(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".aif" || extension == ".aiff") return SF_FORMAT_AIFF;
    if (extension == ".caf") return SF_FORMAT_CAF;
    return SF_FORMAT_WAV;
}

}  // namespace

AudioFile::OpenResult AudioFile::openForWriting(const std::filesystem::path& path,
                                                const AudioFormat& format) {
    if (format.channelCount == 0 || format.sampleRate <= 0.0) {
        return {nullptr, AudioFileError{EINVAL, "invalid audio format"}};
    }
    SF_INFO info{};
    info.samplerate = static_cast<int>(format.sampleRate);
    info.channels = static_cast<int>(format.channelCount);
    info.format = containerFor(path) | SF_FORMAT_FLOAT;
    if (!sf_format_check(&info))
        return {nullptr, AudioFileError{EINVAL, "unsupported audio format"}};

    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        return {nullptr, AudioFileError{error, path.string() + ": " + std::strerror(error)}};
    }
    auto handle = std::make_unique<Handle>();
    handle->fd = fd;
    handle->file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!handle->file) {
        return {nullptr,
                AudioFileError{sf_error(nullptr), path.string() + ": " + sf_strerror(nullptr)}};
    }
    // The header's sizes are rewritten after every write, not only at close: a recording whose
    // process was killed is then a valid file of everything written, for strict players and
    // for its exported copy too.
    sf_command(handle->file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return {std::shared_ptr<AudioFile>(new AudioFile(path, format, std::move(handle))),
            std::nullopt};
}

AudioFile::AudioFile(std::filesystem::path path, AudioFormat format, std::unique_ptr<Handle> handle)
    : path_(std::move(path)), format_(format), handle_(std::move(handle)) {}

AudioFile::~AudioFile() = default;

std::optional<AudioFileError> AudioFile::write(std::span<const float> samples) {
    const auto frames = static_cast<sf_count_t>(samples.size() / format_.channelCount);
    if (frames == 0) return std::nullopt;
    const sf_count_t written = sf_writef_float(handle_->file, samples.data(), frames);
    if (written != frames) {
        const AudioFileError error{sf_error(handle_->file), sf_strerror(handle_->file)};
        // The header rewrite that follows every write leaves the position at the end of the
        // header when the data write fell short; without going back to the end of the data,
        // the next writes would land over the recording's start and be reported as written.
        sf_seek(handle_->file, 0, SEEK_END | SFM_WRITE);
        return error;
    }
    return std::nullopt;
}

}  // namespace pex
