#include "Login/CaptchaPage.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

#include "platform/foundation/MainQueue.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {

CaptchaPage::Maker& registeredMaker() {
    static CaptchaPage::Maker maker;
    return maker;
}

QString& libraryDirectory() {
    static QString folder;
    return folder;
}

// Loads the page's library once; its registration fills in the maker. The library stays
// loaded for the rest of the process (the web engine cannot be unloaded).
bool loadLibrary() {
    static bool attempted = false;
    static bool loaded = false;
    if (attempted) return loaded;
    attempted = true;
    const QString folder =
        libraryDirectory().isEmpty() ? QCoreApplication::applicationDirPath() : libraryDirectory();
    QLibrary library(QDir(folder).filePath(QString::fromLatin1(CaptchaPage::kLibraryName)));
    loaded = library.load();
    if (!loaded) consoleLog("验证码页面库加载失败: " + library.errorString().toStdString());
    return loaded;
}

}  // namespace

CaptchaPage::~CaptchaPage() = default;

void CaptchaPage::registerMaker(Maker maker) {
    registeredMaker() = std::move(maker);
}

void CaptchaPage::setLibraryDirectory(const QString& folder) {
    libraryDirectory() = folder;
}

CaptchaPage* CaptchaPage::make() {
    assertMainThread("CaptchaPage::make");
    if (!registeredMaker()) loadLibrary();
    return registeredMaker() ? registeredMaker()() : nullptr;
}

}  // namespace pex
