#pragma once
// The save dialogue in the design's terms: a proposed name, the file types it offers, whether
// other types are allowed, the extension hidden, new folders allowed; begun without blocking
// the window, it answers once through its completion on the main queue with OK and the chosen
// file, or cancel. `make` gives the real dialogue unless a test installed another.
#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace pex {

class SavePanel {
  public:
    enum class Response { cancel, ok };
    using Completion =
        std::function<void(Response response, std::optional<std::filesystem::path> file)>;
    using Factory = std::function<std::unique_ptr<SavePanel>()>;

    virtual ~SavePanel() = default;

    static std::unique_ptr<SavePanel> make();
    // Tests: `make` uses `factory`; an empty one restores the real dialogue.
    static void setFactoryForTesting(Factory factory);

    QString nameFieldStringValue;
    QStringList allowedFileTypes;  // extensions without the dot, "txt"
    bool allowsOtherFileTypes = true;
    bool isExtensionHidden = true;
    bool canCreateDirectories = true;

    // Shows the dialogue; `completion` runs once, later, on the main queue. The panel object may
    // be dropped right after this call.
    virtual void begin(Completion completion) = 0;
};

}  // namespace pex
