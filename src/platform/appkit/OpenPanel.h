#pragma once
// The standard panel for choosing a file to open, in the design's terms: a title, whether files
// and folders may be chosen, one or several, and the allowed file extensions. `begin` opens it
// without blocking (window-modal to nothing) and calls the completion once with the answer and,
// on OK, the chosen file. Built on QFileDialog.
#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <optional>

namespace pex {

class OpenPanel {
  public:
    enum class Response { ok, cancel };
    using Completion =
        std::function<void(Response response, std::optional<std::filesystem::path> file)>;

    QString title;
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
    QStringList allowedFileTypes;  // extensions without the dot; empty allows every file

    // Shows the panel and returns at once; `completion` runs on the main thread when the user
    // has answered.
    void begin(Completion completion) const;

    // Tests: while set, `begin` hands the panel and the completion to `handler` instead of
    // showing anything.
    using Handler = std::function<void(const OpenPanel& panel, Completion completion)>;
    static void setHandlerForTesting(Handler handler);
};

}  // namespace pex
