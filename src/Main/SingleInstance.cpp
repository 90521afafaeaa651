#include "Main/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include "platform/foundation/UserDefaults.h"

namespace pex {

namespace {
constexpr qint64 kLongestMessage = 64;
}  // namespace

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), serverName_(std::move(serverName)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultServerName() {
    const QByteArray folder =
        QByteArray::fromStdString(UserDefaults::rootDirectory().lexically_normal().string());
    const QString digest = QString::fromLatin1(
        QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16));
    const QString name = QStringLiteral("pexmora-") + digest;
    // The user's own runtime folder when there is one; else Qt's folder, guarded by the
    // user-only access of the socket.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) return QDir(runtime).filePath(name);
    return name;
}

bool SingleInstance::notifyRunningInstance(int timeoutMilliseconds) const {
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(timeoutMilliseconds)) return false;
    socket.write(kReopenMessage);
    const bool sent = socket.waitForBytesWritten(timeoutMilliseconds);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(100);
    return sent;
}

bool SingleInstance::listen(std::function<void()> onReopen) {
    onReopen_ = std::move(onReopen);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] { acceptConnection(); });
    if (server_->listen(serverName_)) return true;
    // A socket left behind by an instance that ended without cleaning up (nobody answered it).
    QLocalServer::removeServer(serverName_);
    return server_->listen(serverName_);
}

void SingleInstance::acceptConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            const QByteArray message = socket->read(kLongestMessage);
            if (message.startsWith(QByteArray(kReopenMessage).trimmed()) && onReopen_) {
                onReopen_();
            }
            socket->disconnectFromServer();
        });
    }
}

}  // namespace pex
