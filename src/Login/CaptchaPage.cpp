#include "Login/CaptchaPage.h"

#include <QCoreApplication>
#include <QDir>

#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {

QString& helperPathOverride() {
    static QString path;
    return path;
}

// True once the application has begun to quit (its event loop is ending).
bool& quitting() {
    static bool value = false;
    return value;
}

}  // namespace

CaptchaPage::CaptchaPage(QObject* parent) : QObject(parent) {
    static const bool watching = [] {
        if (QCoreApplication* application = QCoreApplication::instance()) {
            QObject::connect(application, &QCoreApplication::aboutToQuit,
                             [] { quitting() = true; });
        }
        return true;
    }();
    (void)watching;
}

CaptchaPage::~CaptchaPage() {
    if (!process_) return;
    process_->disconnect(this);
    if (process_->state() == QProcess::NotRunning) {
        delete process_.data();
        return;
    }
    // The helper goes by itself once its input closes; one that does not is stopped. The
    // process object outlives this page until then; an application that quits first stops
    // the helper and waits for it, so that no helper window outlives it.
    QProcess* process = process_.data();
    process->closeWriteChannel();
    const auto stopNow = [process] {
        process->kill();
        process->waitForFinished(1000);
    };
    QCoreApplication* application = QCoreApplication::instance();
    // Once the application is quitting nothing would stop it later.
    if (application == nullptr || quitting()) {
        stopNow();
        delete process;
        return;
    }
    process->setParent(application);
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    connect(application, &QCoreApplication::aboutToQuit, process, stopNow);
    const QPointer<QProcess> stopping(process);
    DispatchQueue::main().asyncAfter(kStopWait, [stopping] {
        if (stopping) stopping->kill();
    });
}

void CaptchaPage::setHelperPath(const QString& path) {
    helperPathOverride() = path;
}

QString CaptchaPage::helperPath() {
    if (!helperPathOverride().isEmpty()) return helperPathOverride();
    return QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(kHelperName));
}

qint64 CaptchaPage::helperProcessId() const {
    return process_ ? process_->processId() : 0;
}

void CaptchaPage::show() {
    assertMainThread("CaptchaPage::show");
    if (process_ || finished_) return;
    process_ = new QProcess(this);
    // The helper's console lines join the application's; its output is the protocol.
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(process_, &QProcess::readyReadStandardOutput, this, &CaptchaPage::readHelper);
    connect(process_, &QProcess::finished, this, &CaptchaPage::helperEnded);
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            fail("无法启动: " + process_->errorString().toStdString());
        }
    });
    process_->start(helperPath(), {});
    const CaptchaPipeMessage show{"show",
                                  {{"origin", DeploymentSettings::current().captchaOrigin.text()}}};
    const std::string line = CaptchaPipe::encode(show);
    // Written once the helper runs; a helper that fails to start drops it.
    process_->write(line.data(), static_cast<qint64>(line.size()));
}

void CaptchaPage::readHelper() {
    if (!process_ || finished_) return;
    while (process_->bytesAvailable() > 0) {
        const QByteArray bytes = process_->read(4096);
        if (!pipe_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()))) break;
        while (const auto line = pipe_.nextLine()) {
            const auto message = CaptchaPipe::decode(*line);
            if (!message) {
                fail("无法识别的消息");
                return;
            }
            handle(*message);
            if (finished_) return;
        }
        if (pipe_.overflowed()) break;
    }
    if (pipe_.overflowed()) fail("消息过长");
}

void CaptchaPage::handle(const CaptchaPipeMessage& message) {
    if (message.type == "validate") {
        if (answered_) return;  // one token per page
        // A token must be there to be sent on: without one the message is malformed.
        if (message.field("validate").empty()) return fail("无法识别的消息");
        answered_ = true;
        QPointer<CaptchaPage> self(this);
        if (onValidateReceived) onValidateReceived(message.field("validate"));
        if (!self) return;
    } else if (message.type == "closed") {
        answered_ = true;
    } else if (message.type == "failed") {
        fail(message.field("reason"));
    }
    // Anything else comes from a newer helper and means nothing here.
}

void CaptchaPage::helperEnded() {
    if (finished_) return;
    readHelper();  // what it wrote just before it ended
    if (finished_) return;
    if (!answered_) {
        fail(process_->exitStatus() == QProcess::CrashExit
                 ? std::string("意外退出")
                 : "退出，状态 " + std::to_string(process_->exitCode()));
        return;
    }
    finish();
}

void CaptchaPage::fail(const std::string& why) {
    if (finished_) return;
    consoleLog("⚠️ 验证码页面失败: " + why);
    if (process_ && process_->state() != QProcess::NotRunning) process_->kill();
    QPointer<CaptchaPage> self(this);
    if (onFailed) onFailed();
    if (self) finish();
}

void CaptchaPage::finish() {
    finished_ = true;
    deleteLater();
}

}  // namespace pex
