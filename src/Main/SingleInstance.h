#pragma once
// One running application per user and settings folder. The first launch listens on a local
// socket; a later launch finds it, tells it to come forward and quits. The socket's name is
// derived from the settings folder, so instances with separate settings (tests) stay apart.
#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

namespace pex {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kReopenMessage = "reopen\n";

    // `serverName` none: the name for the current settings folder.
    explicit SingleInstance(QString serverName = defaultServerName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when a running instance took the message; this process should then end.
    bool notifyRunningInstance(int timeoutMilliseconds = 1000) const;
    // Starts listening; `onReopen` runs on the main thread for each later launch. False when
    // the socket cannot be made (the application then runs without the check).
    bool listen(std::function<void()> onReopen);

    const QString& serverName() const { return serverName_; }
    static QString defaultServerName();

  private:
    void acceptConnection();

    QString serverName_;
    QLocalServer* server_ = nullptr;
    std::function<void()> onReopen_;
};

}  // namespace pex
