#pragma once
// Where a piece of code's symbols come from: the file (`URL`), a number saying what kind of
// source it is, and that source's name, which nothing sets.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace pex {

class CRSCodeMapping {
  public:
    static std::unique_ptr<CRSCodeMapping> mappingWithURL(const std::filesystem::path& url) {
        return std::make_unique<CRSCodeMapping>(url);
    }
    explicit CRSCodeMapping(std::filesystem::path url) : url_(std::move(url)) {}

    const std::filesystem::path& URL() const { return url_; }
    int source() const { return source_; }
    void setSource(int source) { source_ = source; }
    const std::optional<std::string>& sourceName() const { return sourceName_; }

  private:
    const std::filesystem::path url_;
    int source_ = 0;
    const std::optional<std::string> sourceName_;
};

}  // namespace pex
