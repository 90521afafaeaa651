#include "crashreporter/macho/CRSMachOBinary.h"

#include <algorithm>
#include <cstring>

#include "crashreporter/runtime/CRSHex.h"

namespace pex {

CRSMachOSliceInfo::CRSMachOSliceInfo(const CRSMachOSlice& slice) : slice_(slice) {
    CRSMachOSliceEnumerateLoadCommands(
        slice_, [this](std::uint32_t type, std::uint32_t size, const std::uint8_t* command) {
            switch (type) {
                case kCRSMachOLoadDylib:
                    if (auto name = CRSMachOGetDylibName(command, size)) {
                        linkedDylibs_.push_back(std::move(*name));
                    }
                    break;
                case kCRSMachOUUID: {
                    std::uint8_t bytes[16];
                    if (CRSMachOGetUUID(command, size, bytes)) {
                        uuid_ = CRSMachONormalizeUUID(bytes);
                    }
                    break;
                }
                case kCRSMachOVersionMinMacOS:
                case kCRSMachOVersionMinIOS:
                case kCRSMachOVersionMinTvOS:
                case kCRSMachOVersionMinWatchOS:
                    if (auto minimum = CRSMachOGetMinimumOSVersion(command, size)) {
                        minimumOSVersion_ = *minimum;
                    }
                    if (auto sdk = CRSMachOGetLinkedSDKVersion(command, size)) {
                        linkedSDKVersion_ = *sdk;
                    }
                    break;
                default:
                    break;
            }
        });
}

std::unique_ptr<CRSMachOBinary> CRSMachOBinary::MachOBinaryWithPath(const std::string& path) {
    std::unique_ptr<CRSMachOBinary> binary(new CRSMachOBinary(path));
    if (!CRSMachOFileInitWithPath(&binary->file_, path.c_str())) {
        return nullptr;
    }
    const bool read = CRSMachOFileEnumerateSlices(
        binary->file_,
        [&binary](const CRSMachOSlice& slice) { binary->slices_.emplace_back(slice); });
    if (!read) {
        return nullptr;
    }
    return binary;
}

CRSMachOBinary::~CRSMachOBinary() {
    CRSMachOFileDestroy(&file_);
}

const std::string& CRSMachOBinary::instanceIdentifier() {
    if (!instanceIdentifier_) {
        std::vector<const CRSMachOSliceInfo*> sorted;
        for (const auto& slice : slices_) {
            sorted.push_back(&slice);
        }
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const CRSMachOSliceInfo* a, const CRSMachOSliceInfo* b) {
                             return std::strcmp(a->architectureName(), b->architectureName()) < 0;
                         });
        std::string joined;
        for (const auto* slice : sorted) {
            joined += slice->uuid();
        }
        instanceIdentifier_ = hashNSString(joined);
    }
    return *instanceIdentifier_;
}

void CRSMachOBinary::enumerateUUIDs(
    const std::function<void(const std::string& uuid, const char* architecture)>& block) const {
    for (const auto& slice : slices_) {
        block(slice.uuid(), slice.architectureName());
    }
}

const CRSMachOSliceInfo* CRSMachOBinary::sliceForArchitecture(std::string_view name) const {
    for (const auto& slice : slices_) {
        if (name == slice.architectureName()) {
            return &slice;
        }
    }
    return nullptr;
}

std::string CRSMachOBinary::hashNSString(std::string_view text) {
    return CRSHashNSString(text);
}

}  // namespace pex
