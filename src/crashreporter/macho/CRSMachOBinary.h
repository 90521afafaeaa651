#pragma once
// A Mach-O or universal file on disk and what each of its slices says about itself.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crashreporter/macho/CRSMachO.h"

namespace pex {

// One slice of a file: its UUID, linked libraries and versions, read once from its load commands.
class CRSMachOSliceInfo {
  public:
    explicit CRSMachOSliceInfo(const CRSMachOSlice& slice);

    const CRSMachOSlice& slice() const { return slice_; }
    const std::string& uuid() const { return uuid_; }  // empty when the slice has no UUID command
    const char* architectureName() const { return CRSMachOSliceGetArchitectureName(slice_); }
    const std::vector<std::string>& linkedDylibs() const { return linkedDylibs_; }
    const CRSMachOVersion& minimumOSVersion() const { return minimumOSVersion_; }
    const CRSMachOVersion& linkedSDKVersion() const { return linkedSDKVersion_; }

  private:
    CRSMachOSlice slice_;
    std::string uuid_;
    std::vector<std::string> linkedDylibs_;
    CRSMachOVersion minimumOSVersion_;
    CRSMachOVersion linkedSDKVersion_;
};

class CRSMachOBinary {
  public:
    // Nothing when the file cannot be mapped or its universal header is refused.
    static std::unique_ptr<CRSMachOBinary> MachOBinaryWithPath(const std::string& path);
    ~CRSMachOBinary();
    CRSMachOBinary(const CRSMachOBinary&) = delete;
    CRSMachOBinary& operator=(const CRSMachOBinary&) = delete;

    const std::string& path() const { return path_; }
    const std::vector<CRSMachOSliceInfo>& slices() const { return slices_; }
    // SHA-1 of the slices' UUIDs joined in architecture-name order, so slice order does not matter.
    const std::string& instanceIdentifier();
    void enumerateUUIDs(
        const std::function<void(const std::string& uuid, const char* architecture)>& block) const;
    const CRSMachOSliceInfo* sliceForArchitecture(std::string_view name) const;
    static std::string hashNSString(std::string_view text);

  private:
    explicit CRSMachOBinary(std::string path) : path_(std::move(path)) {}

    std::string path_;
    CRSMachOFile file_;
    std::vector<CRSMachOSliceInfo> slices_;
    std::optional<std::string> instanceIdentifier_;
};

}  // namespace pex
