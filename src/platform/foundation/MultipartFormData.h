#pragma once
// A multipart/form-data body: parts from bytes or from files, encoded either into memory or,
// for large bodies, into a file in blocks so that a big file never sits in memory whole.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pex {

class MultipartFormData {
  public:
    MultipartFormData();  // a fresh random boundary

    // A part whose content is `data`; without a file name and type it is a plain form field.
    void append(std::string data, std::string name, std::optional<std::string> fileName = {},
                std::optional<std::string> mimeType = {});
    // A part whose content is read from `file` when the body is encoded.
    void appendFile(std::filesystem::path file, std::string name, std::string fileName,
                    std::string mimeType);

    const std::string& boundary() const { return boundary_; }
    std::string contentType() const;  // "multipart/form-data; boundary=..."

    // Length of the encoded body; none when a file part's size cannot be read.
    std::optional<std::uint64_t> contentLength() const;

    // Encodes the whole body into `out`. False (with `error`) when a file cannot be read.
    bool encode(std::string& out, std::string& error) const;
    // Encodes the body into `destination`, copying file parts in blocks.
    bool writeEncoded(const std::filesystem::path& destination, std::string& error) const;

    // Makes a name or file name safe inside a quoted header parameter: '"', CR and LF become
    // %22, %0D and %0A, so a crafted file name cannot end the header or add one.
    static std::string escapeHeaderParameter(std::string_view text);

  private:
    struct Part {
        std::string name;
        std::optional<std::string> fileName;
        std::optional<std::string> mimeType;
        std::string data;                           // when not from a file
        std::optional<std::filesystem::path> file;  // when from a file
    };

    std::string partHead(const Part& part, bool first) const;
    std::string closing() const;

    std::string boundary_;
    std::vector<Part> parts_;
};

}  // namespace pex
