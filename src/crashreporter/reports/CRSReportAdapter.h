#pragma once
// Turns one packaged report folder into the bytes of the crash report message: identifying
// texts plus the readable lines of every record file (and symbolicated companion) of the folder.
// All work is done at construction; the object is immutable afterwards.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "crashreporter/reports/CRSMetadataRecords.h"

struct _beacon_crashreporter_Report;

namespace pex {

class CRSInstallIdentifierModel;

class CRSReportAdapter {
  public:
    CRSReportAdapter(std::string folderPath, std::string beaconAppID,
                     const CRSInstallIdentifierModel* installIDModel,
                     std::optional<std::string> fiid, std::optional<std::string> authToken);
    ~CRSReportAdapter();
    CRSReportAdapter(const CRSReportAdapter&) = delete;
    CRSReportAdapter& operator=(const CRSReportAdapter&) = delete;

    // The encoded message (empty when encoding failed; the failure is logged).
    std::vector<std::uint8_t> transportBytes() const;

    // The record files to send: ".clsrecord" and ".symbolicated" entries of the folder, as
    // full paths sorted without regard to case.
    std::vector<std::string> clsRecordFilePaths() const;
    // "ios" 1, "tvos" 2, "mac" 5 (any case), anything else 0.
    static int protoPlatformFromString(const std::optional<std::string>& platform);

    // Each non-empty line of the file parsed as JSON (lines that are not are logged and
    // skipped); an unreadable file has no lines.
    static std::vector<nlohmann::json> dictionariesFromEachLineOfFile(const std::string& path);
    // What of a record file is sent: the file as it is when every line reads as JSON, else only
    // the lines that do; nothing for an unreadable file or one with no readable line. What is
    // left out is logged.
    static std::optional<std::string> readableRecordContents(const std::string& path);
    // Those objects merged in order, a later key replacing an earlier one.
    static nlohmann::json combinedDictionariesFromFilePath(const std::string& path);

    const _beacon_crashreporter_Report& report() const { return *report_; }

  private:
    void loadMetaDataFile();
    void protoReport();
    void protoFilesPayload();

    std::string folderPath_;
    std::string beaconAppID_;
    std::optional<std::string> installID_;
    std::optional<std::string> fiid_;
    std::optional<std::string> authToken_;
    std::optional<CRSRecordIdentity> identity_;
    std::optional<CRSRecordHost> host_;
    std::optional<CRSRecordApplication> application_;
    std::unique_ptr<_beacon_crashreporter_Report> report_;
    // Every file's contents, written out by the message's contents fields.
    std::vector<std::string> contents_;
};

}  // namespace pex
