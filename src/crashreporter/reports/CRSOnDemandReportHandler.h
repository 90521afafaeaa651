#pragma once
// Where an on-demand report goes once it is recorded while data collection is on: the manager
// of unsent reports, which processes and uploads it at once. The caller has checked that data
// collection is on, so the handler may send with a valid data-collection token.
#include <string>

namespace pex {

class CRSOnDemandReportHandler {
  public:
    virtual ~CRSOnDemandReportHandler() = default;
    virtual void handleOnDemandReportUpload(const std::string& path, bool asUrgent) = 0;
};

}  // namespace pex
