#pragma once
// The system log that SDK lines go to. A log handle belongs to a subsystem and a category
// (such as "com.beacon" and "[BeaconCore]") and says whether a message type is enabled. The
// handles come from the current backend: standard error by default, the systemd journal when
// standard error already goes there, or a capturing backend that tests install.
#include <memory>
#include <string>

namespace pex {

enum class OSLogType { Default, Info, Debug, Error, Fault };

class OSLog {
  public:
    virtual ~OSLog() = default;
    virtual bool isEnabled(OSLogType type) const = 0;
    virtual void write(OSLogType type, const std::string& text) = 0;
};

class OSLogBackend {
  public:
    virtual ~OSLogBackend() = default;
    virtual std::shared_ptr<OSLog> create(const std::string& subsystem,
                                          const std::string& category) = 0;

    // The process's backend, chosen on first use; nullptr restores that choice.
    static std::shared_ptr<OSLogBackend> current();
    static void setCurrent(std::shared_ptr<OSLogBackend> backend);
};

}  // namespace pex
