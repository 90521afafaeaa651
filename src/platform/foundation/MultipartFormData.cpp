#include "platform/foundation/MultipartFormData.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <random>

namespace pex {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kCRLF = "\r\n";
constexpr std::size_t kCopyBlock = 64 * 1024;

std::string randomBoundary() {
    std::random_device random;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%08x%08x", random(), random());
    return std::string("pexmora.boundary.") + hex;
}

}  // namespace

MultipartFormData::MultipartFormData() : boundary_(randomBoundary()) {}

void MultipartFormData::append(std::string data, std::string name,
                               std::optional<std::string> fileName,
                               std::optional<std::string> mimeType) {
    parts_.push_back(
        {std::move(name), std::move(fileName), std::move(mimeType), std::move(data), std::nullopt});
}

void MultipartFormData::appendFile(fs::path file, std::string name, std::string fileName,
                                   std::string mimeType) {
    parts_.push_back(
        {std::move(name), std::move(fileName), std::move(mimeType), {}, std::move(file)});
}

std::string MultipartFormData::contentType() const {
    return "multipart/form-data; boundary=" + boundary_;
}

std::string MultipartFormData::escapeHeaderParameter(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '"':
                escaped += "%22";
                break;
            case '\r':
                escaped += "%0D";
                break;
            case '\n':
                escaped += "%0A";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string MultipartFormData::partHead(const Part& part, bool first) const {
    std::string head;
    if (!first) head += kCRLF;
    head += "--" + boundary_;
    head += kCRLF;
    head += "Content-Disposition: form-data; name=\"" + escapeHeaderParameter(part.name) + "\"";
    if (part.fileName) head += "; filename=\"" + escapeHeaderParameter(*part.fileName) + "\"";
    head += kCRLF;
    if (part.mimeType) {
        head += "Content-Type: " + escapeHeaderParameter(*part.mimeType);
        head += kCRLF;
    }
    head += kCRLF;
    return head;
}

std::string MultipartFormData::closing() const {
    return std::string(kCRLF) + "--" + boundary_ + "--" + std::string(kCRLF);
}

std::optional<std::uint64_t> MultipartFormData::contentLength() const {
    std::uint64_t length = 0;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        const Part& part = parts_[i];
        length += partHead(part, i == 0).size();
        if (part.file) {
            std::error_code error;
            const auto size = fs::file_size(*part.file, error);
            if (error) return std::nullopt;
            length += size;
        } else {
            length += part.data.size();
        }
    }
    return length + closing().size();
}

bool MultipartFormData::encode(std::string& out, std::string& error) const {
    out.clear();
    if (auto length = contentLength()) out.reserve(*length);
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        const Part& part = parts_[i];
        out += partHead(part, i == 0);
        if (!part.file) {
            out += part.data;
            continue;
        }
        std::ifstream in(*part.file, std::ios::binary);
        if (!in) {
            error = "cannot open " + part.file->string();
            return false;
        }
        std::array<char, kCopyBlock> block;
        while (in.read(block.data(), block.size()) || in.gcount() > 0) {
            out.append(block.data(), static_cast<std::size_t>(in.gcount()));
        }
        if (in.bad()) {
            error = "cannot read " + part.file->string();
            return false;
        }
    }
    out += closing();
    return true;
}

bool MultipartFormData::writeEncoded(const fs::path& destination, std::string& error) const {
    std::ofstream out(destination, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot create " + destination.string();
        return false;
    }
    std::array<char, kCopyBlock> block;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        const Part& part = parts_[i];
        const std::string head = partHead(part, i == 0);
        out.write(head.data(), static_cast<std::streamsize>(head.size()));
        if (!part.file) {
            out.write(part.data.data(), static_cast<std::streamsize>(part.data.size()));
            continue;
        }
        std::ifstream in(*part.file, std::ios::binary);
        if (!in) {
            error = "cannot open " + part.file->string();
            return false;
        }
        while (in.read(block.data(), block.size()) || in.gcount() > 0) {
            out.write(block.data(), in.gcount());
        }
        if (in.bad()) {
            error = "cannot read " + part.file->string();
            return false;
        }
    }
    const std::string tail = closing();
    out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
    out.flush();
    if (!out) {
        error = "cannot write " + destination.string();
        return false;
    }
    return true;
}

}  // namespace pex
