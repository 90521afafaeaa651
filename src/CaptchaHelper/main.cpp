// The captcha helper process: the login window starts it when the user asks for an SMS code
// and talks to it over its standard input and output (Login/CaptchaPipe.h). It carries the web
// engine and the OpenGL it needs, so that the application itself loads neither.

#include <sys/prctl.h>
#include <unistd.h>
#include <QApplication>
#include <csignal>

#include "CaptchaHelper/CaptchaHelper.h"
#include "platform/appkit/QtMainQueueDriver.h"
#include "platform/foundation/AtomicFile.h"

int main(int argc, char* argv[]) {
    // Ends with the application, even when that is killed: no captcha window is left behind.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // A login window that went away shows as the end of input, not as a signal on writing.
    std::signal(SIGPIPE, SIG_IGN);
    pex::AtomicFile::makeNewFilesPrivate();
    // Standard output carries the protocol alone: console lines go to standard error.
    const int protocolOutput = ::dup(STDOUT_FILENO);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    // The page's web view shares OpenGL contexts; Qt needs this before the application.
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Pexmora");
    QApplication::setQuitOnLastWindowClosed(false);
    pex::QtMainQueueDriver mainQueueDriver;
    pex::CaptchaHelper helper(STDIN_FILENO, protocolOutput);
    helper.onEnd = [](int status) { QApplication::exit(status); };
    return QApplication::exec();
}
