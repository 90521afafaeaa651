#pragma once
// Symbolicates a crashed report on a later launch: beside each crash file it writes a companion
// with the extension "symbolicated" appended, holding every thread's frames with their symbol
// names, offsets and libraries.
#include <memory>
#include <optional>
#include <string>

#include "crashreporter/reports/CRSInternalReport.h"
#include "crashreporter/reports/CRSSymbolResolver.h"
#include "crashreporter/reports/CRSThreadArray.h"

namespace pex {

class CRSProcessReportOperation {
  public:
    CRSProcessReportOperation(std::shared_ptr<CRSInternalReport> report,
                              std::shared_ptr<CRSSymbolResolver> resolver);

    // Loads the report's binary images and symbolicates each crash file that exists.
    void main();

    // The "threads" of the first section that has them, as frames of bare addresses. With
    // `interrupted`, also whether each thread's first frame is the instruction its registers
    // were stopped at (a return address otherwise).
    static std::optional<CRSThreadArray> threadArrayFromFile(
        const std::string& path, std::vector<bool>* interrupted = nullptr);
    // Symbolicates, demangles and writes `path` + ".symbolicated"; false when `path` holds no
    // threads.
    static bool symbolicateFile(const std::string& path, const CRSSymbolResolver& resolver);
    // Writes one "threads" section; "raw_symbol" only where it differs from "symbol".
    static bool serialize(const CRSThreadArray& threads, const std::string& outputPath);

  private:
    std::shared_ptr<CRSInternalReport> report_;
    std::shared_ptr<CRSSymbolResolver> resolver_;
};

}  // namespace pex
