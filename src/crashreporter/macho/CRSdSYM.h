#pragma once
// A debug-symbol bundle and the symbol file it holds. On this platform a program's debug
// information is a separate file, and the bundle is one of the two folders that hold such a
// file:
//  - a folder of the program's own that holds its symbol file ("Pexmora.debug/pexmora"); the
//    bundle's information, when there is any, is its "Info.plist", beside the symbol file;
//  - a debug folder that holds the symbol file at its build-id path
//    (".build-id/<first two hex digits of the id>/<the other digits>.debug").
// Either way the bundle is made for one program: the first symbol file in its listing (names in
// byte order, hidden names left out) is the bundle's binary. The binary is read as
// CRSMachOBinary reads any file.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "crashreporter/macho/CRSMachOBinary.h"
#include "platform/foundation/Bundle.h"

namespace pex {

class CRSdSYM {
  public:
    // Nothing unless the path exists, is a folder, holds a symbol file as above and that file
    // can be read.
    static std::unique_ptr<CRSdSYM> dSYMWithURL(const std::filesystem::path& url);

    const Bundle& bundle() const { return bundle_; }
    CRSMachOBinary& binary() const { return *binary_; }
    // The bundle's identifier, without the prefix "com.apple.xcode.dsym." that bundle tools
    // put before the program's own.
    std::string bundleIdentifier() const;
    std::string bundleVersion() const;       // CFBundleVersion, "" when absent
    std::string shortBundleVersion() const;  // CFBundleShortVersionString, "" when absent
    // The symbol file.
    std::filesystem::path executableURL() const { return binary_->path(); }
    const std::string& executablePath() const { return binary_->path(); }
    void enumerateUUIDs(
        const std::function<void(const std::string& uuid, const char* architecture)>& block) const;

  private:
    CRSdSYM(Bundle bundle, std::unique_ptr<CRSMachOBinary> binary)
        : bundle_(std::move(bundle)), binary_(std::move(binary)) {}

    Bundle bundle_;
    std::unique_ptr<CRSMachOBinary> binary_;
};

}  // namespace pex
