#pragma once
// What a test program that makes web views needs before its application object exists,
// however the test is started: Chromium refuses to run as root with its sandbox on, test
// machines draw without a GPU, and the web views want shared OpenGL contexts (as the
// captcha helper's main() sets them). Values the caller exported are kept.
#include <QCoreApplication>
#include <cstdlib>

namespace pex::test {

// Whether web views run in this build: under the address sanitizer the web engine's own
// faults stop the test program, so those tests are skipped there.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kWebEngineRuns = false;
#else
inline constexpr bool kWebEngineRuns = true;
#endif

inline bool prepareWebEngineForTests() {
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return true;
}

}  // namespace pex::test
