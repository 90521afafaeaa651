#include "crashreporter/reports/CRSProcessReportOperation.h"

#include "crashreporter/reports/CRSDemangleOperation.h"
#include "crashreporter/runtime/CRSFile.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "crashreporter/runtime/CRSLog.h"

namespace pex {

CRSProcessReportOperation::CRSProcessReportOperation(std::shared_ptr<CRSInternalReport> report,
                                                     std::shared_ptr<CRSSymbolResolver> resolver)
    : report_(std::move(report)), resolver_(std::move(resolver)) {}

void CRSProcessReportOperation::main() {
    if (!report_ || !resolver_) return;
    if (!resolver_->loadBinaryImagesFromFile(report_->binaryImagePath())) return;
    for (const std::string& name : CRSInternalReport::crashFileNames()) {
        symbolicateFile(report_->pathForContentFile(name), *resolver_);
    }
}

std::optional<CRSThreadArray> CRSProcessReportOperation::threadArrayFromFile(
    const std::string& path, std::vector<bool>* interrupted) {
    const auto sections = CRSFileReadSections(
        path.c_str(), false, [](const nlohmann::json& section) -> std::optional<nlohmann::json> {
            const auto threads = section.find("threads");
            if (threads == section.end()) return std::nullopt;
            return *threads;
        });
    if (!sections || sections->empty() || !sections->front().is_array()) return std::nullopt;
    CRSThreadArray result;
    if (interrupted != nullptr) interrupted->clear();
    for (const auto& thread : sections->front()) {
        std::vector<BCNStackFrame> frames;
        std::optional<std::uint64_t> stoppedAt;
        if (thread.is_object()) {
            const auto stack = thread.find("stacktrace");
            if (stack != thread.end() && stack->is_array()) {
                for (const auto& address : *stack) {
                    if (!address.is_number_unsigned()) continue;
                    frames.push_back(
                        BCNStackFrame::stackFrameWithAddress(address.get<std::uint64_t>()));
                }
            }
            const auto registers = thread.find("registers");
            if (registers != thread.end() && registers->is_object()) {
                const auto pc = registers->find("rip");
                if (pc != registers->end() && pc->is_number_unsigned()) {
                    stoppedAt = pc->get<std::uint64_t>();
                }
            }
        }
        if (interrupted != nullptr) {
            interrupted->push_back(!frames.empty() && stoppedAt == frames.front().address);
        }
        result.push_back(std::move(frames));
    }
    return result;
}

bool CRSProcessReportOperation::symbolicateFile(const std::string& path,
                                                const CRSSymbolResolver& resolver) {
    std::vector<bool> interrupted;
    auto threads = threadArrayFromFile(path, &interrupted);
    if (!threads) return false;
    for (std::size_t t = 0; t < threads->size(); ++t) {
        auto& thread = (*threads)[t];
        for (std::size_t f = 0; f < thread.size(); ++f) {
            resolver.updateStackFrame(thread[f], f != 0 || !interrupted[t]);
        }
    }
    CRSDemangleOperation::run(*threads);
    serialize(*threads, path + ".symbolicated");
    return true;
}

bool CRSProcessReportOperation::serialize(const CRSThreadArray& threads,
                                          const std::string& outputPath) {
    CRSFile file{};
    if (!CRSFileInitWithPathMode(&file, outputPath.c_str(), false, false)) {
        CRSErrorLog("Failed to create output file");
        return false;
    }
    CRSFileWriteSectionStart(&file, "threads");
    CRSFileWriteArrayStart(&file);
    for (const auto& thread : threads) {
        CRSFileWriteArrayStart(&file);
        for (const auto& frame : thread) {
            CRSFileWriteHashStart(&file);
            CRSFileWriteHashEntryString(&file, "symbol", frame.symbol.c_str());
            if (frame.rawSymbol != frame.symbol) {
                CRSFileWriteHashEntryString(&file, "raw_symbol", frame.rawSymbol.c_str());
            }
            CRSFileWriteHashEntryUint64(&file, "offset", frame.offset);
            CRSFileWriteHashEntryString(&file, "library", frame.library.c_str());
            CRSFileWriteHashEnd(&file);
        }
        CRSFileWriteArrayEnd(&file);
    }
    CRSFileWriteArrayEnd(&file);
    CRSFileWriteSectionEnd(&file);
    return CRSFileClose(&file);
}

}  // namespace pex
