#include "crashreporter/reports/CRSReportAdapter.h"

#include <pb_decode.h>
#include <pb_encode.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

#include "crashreporter/reports/CRSInstallIdentifierModel.h"
#include "crashreporter/reports/protos/crs_report.pb.h"
#include "crashreporter/runtime/CRSLog.h"

namespace pex {

namespace {

// A new length-prefixed buffer holding `bytes`; absent text becomes empty, so every text field
// of the message is set.
pb_bytes_array_t* CRSEncodeBytes(const char* bytes, std::size_t length) {
    if (length > PB_SIZE_MAX) {
        // The runtime's lengths are 16-bit: a longer text would go out cut short.
        CRSErrorLog("Text too long for the report message: " + std::to_string(length) + " bytes");
        length = 0;
    }
    auto* buffer = static_cast<pb_bytes_array_t*>(std::malloc(PB_BYTES_ARRAY_T_ALLOCSIZE(length)));
    if (buffer == nullptr) return nullptr;
    buffer->size = static_cast<pb_size_t>(length);
    if (length > 0) std::memcpy(buffer->bytes, bytes, length);
    return buffer;
}

pb_bytes_array_t* CRSEncodeString(const std::optional<std::string>& text) {
    const std::string value = text.value_or("");
    return CRSEncodeBytes(value.data(), value.size());
}

std::optional<std::string> readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

bool encodeContents(pb_ostream_t* stream, const pb_field_t* field, void* const* arg) {
    const auto* bytes = static_cast<const std::string*>(*arg);
    return pb_encode_tag_for_field(stream, field) &&
           pb_encode_string(stream, reinterpret_cast<const pb_byte_t*>(bytes->data()),
                            bytes->size());
}

const char* streamError(const pb_ostream_t& stream) {
    return PB_GET_ERROR(&stream) != nullptr ? PB_GET_ERROR(&stream) : "(none)";
}

}  // namespace

CRSReportAdapter::CRSReportAdapter(std::string folderPath, std::string beaconAppID,
                                   const CRSInstallIdentifierModel* installIDModel,
                                   std::optional<std::string> fiid,
                                   std::optional<std::string> authToken)
    : folderPath_(std::move(folderPath)),
      beaconAppID_(std::move(beaconAppID)),
      fiid_(std::move(fiid)),
      authToken_(std::move(authToken)),
      report_(std::make_unique<beacon_crashreporter_Report>()) {
    if (installIDModel != nullptr) installID_ = installIDModel->installID();
    *report_ = beacon_crashreporter_Report_init_zero;
    loadMetaDataFile();
    protoReport();
}

CRSReportAdapter::~CRSReportAdapter() {
    pb_release(beacon_crashreporter_Report_fields, report_.get());
}

std::vector<nlohmann::json> CRSReportAdapter::dictionariesFromEachLineOfFile(
    const std::string& path) {
    std::vector<nlohmann::json> objects;
    const auto text = readWhole(path);
    if (!text) return objects;
    std::size_t start = 0;
    int lineNumber = 0;
    while (start <= text->size()) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos) end = text->size();
        ++lineNumber;
        const std::string_view line(text->data() + start, end - start);
        if (!line.empty()) {
            try {
                objects.push_back(nlohmann::json::parse(line));
            } catch (const nlohmann::json::exception& error) {
                CRSErrorLog("Failed to read JSON from file (" + path + ") line (" +
                            std::to_string(lineNumber) + ") with error: " + error.what());
            }
        }
        start = end + 1;
    }
    return objects;
}

nlohmann::json CRSReportAdapter::combinedDictionariesFromFilePath(const std::string& path) {
    nlohmann::json combined = nlohmann::json::object();
    for (const auto& object : dictionariesFromEachLineOfFile(path)) {
        if (!object.is_object()) continue;
        for (const auto& [key, value] : object.items()) combined[key] = value;
    }
    return combined;
}

void CRSReportAdapter::loadMetaDataFile() {
    const nlohmann::json metadata =
        combinedDictionariesFromFilePath(folderPath_ + "/metadata.clsrecord");
    const auto section = [&](const char* key) {
        const auto found = metadata.find(key);
        return found == metadata.end() ? nlohmann::json() : *found;
    };
    identity_.emplace(section("identity"));
    host_.emplace(section("host"));
    application_.emplace(section("application"));
}

int CRSReportAdapter::protoPlatformFromString(const std::optional<std::string>& platform) {
    if (!platform) return beacon_crashreporter_Platform_PLATFORM_UNKNOWN;
    const std::string name = lowered(*platform);
    if (name == "ios") return beacon_crashreporter_Platform_PLATFORM_IOS;
    if (name == "tvos") return beacon_crashreporter_Platform_PLATFORM_TVOS;
    if (name == "mac") return beacon_crashreporter_Platform_PLATFORM_MAC;
    return beacon_crashreporter_Platform_PLATFORM_UNKNOWN;
}

std::vector<std::string> CRSReportAdapter::clsRecordFilePaths() const {
    std::vector<std::string> paths;
    std::error_code error;
    std::filesystem::directory_iterator entries(folderPath_, error);
    if (error) {
        CRSErrorLog("Failed to find .clsrecords from " + folderPath_ +
                    " with error: " + error.message());
        return paths;
    }
    for (const auto& entry : entries) {
        const std::string extension = lowered(entry.path().extension().string());
        if (extension != ".clsrecord" && extension != ".symbolicated") continue;
        paths.push_back(folderPath_ + "/" + entry.path().filename().string());
    }
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        const std::string la = lowered(a), lb = lowered(b);
        return la != lb ? la < lb : a < b;
    });
    return paths;
}

std::optional<std::string> CRSReportAdapter::readableRecordContents(const std::string& path) {
    const auto text = readWhole(path);
    if (!text) {
        CRSErrorLog("Failed to read from " + path + " with error: unreadable file");
        return std::nullopt;
    }
    // A record is one JSON value a line; a torn or damaged line would only confuse the
    // service, so it is left out and the rest goes.
    std::string kept;
    kept.reserve(text->size());
    std::size_t dropped = 0;
    std::size_t start = 0;
    while (start < text->size()) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos) end = text->size();
        const std::string_view line(text->data() + start, end - start);
        if (!line.empty()) {
            if (nlohmann::json::accept(line)) {
                kept.append(line);
                kept.push_back('\n');
            } else {
                ++dropped;
            }
        }
        start = end + 1;
    }
    if (dropped == 0) return text;
    if (kept.empty()) {
        CRSErrorLog("Leaving out " + path + ": none of its " + std::to_string(dropped) +
                    " lines reads");
        return std::nullopt;
    }
    CRSErrorLog("Leaving out " + std::to_string(dropped) + " unreadable lines of " + path);
    return kept;
}

void CRSReportAdapter::protoFilesPayload() {
    beacon_crashreporter_FilesPayload& payload = report_->apple_payload;
    report_->has_apple_payload = true;
    std::vector<std::string> paths;
    std::vector<std::string> contents;
    for (const std::string& path : clsRecordFilePaths()) {
        if (auto readable = readableRecordContents(path)) {
            paths.push_back(path);
            contents.push_back(std::move(*readable));
        }
    }
    payload.files_count = 0;
    payload.files = nullptr;
    if (paths.empty()) return;
    if (paths.size() > PB_SIZE_MAX) {
        CRSErrorLog("Too many files for the report message: " + std::to_string(paths.size()));
        return;
    }
    auto* files = static_cast<beacon_crashreporter_FilesPayload_File*>(
        std::calloc(paths.size(), sizeof(beacon_crashreporter_FilesPayload_File)));
    if (files == nullptr) return;
    contents_ = std::move(contents);
    payload.files = files;
    payload.files_count = static_cast<pb_size_t>(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        files[i].filename = CRSEncodeString(std::filesystem::path(paths[i]).filename().string());
        files[i].contents.funcs.encode = &encodeContents;
        files[i].contents.arg = &contents_[i];
    }
}

void CRSReportAdapter::protoReport() {
    report_->sdk_version = CRSEncodeString(identity_->build_version);
    report_->bmp_app_id = CRSEncodeString(beaconAppID_);
    report_->platform =
        static_cast<beacon_crashreporter_Platform>(protoPlatformFromString(host_->platform));
    report_->installation_uuid = CRSEncodeString(installID_);
    report_->build_version = CRSEncodeString(application_->build_version);
    report_->display_version = CRSEncodeString(application_->display_version);
    protoFilesPayload();
    report_->beacon_installation_id = CRSEncodeString(fiid_);
    report_->app_quality_session_id = CRSEncodeString(identity_->app_quality_session_id);
    report_->beacon_authentication_token = CRSEncodeString(authToken_);
}

std::vector<std::uint8_t> CRSReportAdapter::transportBytes() const {
    pb_ostream_t sizing = PB_OSTREAM_SIZING;
    if (!pb_encode(&sizing, beacon_crashreporter_Report_fields, report_.get())) {
        CRSErrorLog(std::string("Error in nanopb encoding for size: ") + streamError(sizing));
        return {};
    }
    std::vector<std::uint8_t> bytes(sizing.bytes_written);
    pb_ostream_t stream = pb_ostream_from_buffer(bytes.data(), bytes.size());
    if (!pb_encode(&stream, beacon_crashreporter_Report_fields, report_.get())) {
        CRSErrorLog(std::string("Error in nanopb encoding for bytes: ") + streamError(stream));
        return {};
    }
    return bytes;
}

}  // namespace pex
