// The guard off Windows: a local socket.
#include "app/gui/SingleInstance.h"

#include <unistd.h>

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace tovalin {

namespace {
constexpr int kWaitMs = 2000;
const QByteArray kRestoreRequest = QByteArrayLiteral("restore\n");
}  // namespace

TInstanceGuard::TInstanceGuard(QString key, QString windowTitle, QObject* parent)
    : QObject(parent), key_(std::move(key)), windowTitle_(std::move(windowTitle)) {}

TInstanceGuard::~TInstanceGuard() {
  if (server_ != nullptr) server_->close();
}

QString TInstanceGuard::KeyFor(const QString& programPath) {
  return QFileInfo(programPath).fileName() + QLatin1Char('-') + QString::number(getuid());
}

TInstanceGuard::Outcome TInstanceGuard::Acquire() {
  QLocalSocket socket;
  socket.connectToServer(key_);
  if (socket.waitForConnected(kWaitMs)) {
    socket.write(kRestoreRequest);
    socket.waitForBytesWritten(kWaitMs);
    socket.disconnectFromServer();
    return Outcome::Another;
  }
  // Nobody answers: whatever is left under the name belongs to a copy that is gone.
  QLocalServer::removeServer(key_);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(key_)) {
    delete server_;
    server_ = nullptr;
    return Outcome::Failed;
  }
  connect(server_, &QLocalServer::newConnection, this, &TInstanceGuard::OnConnection);
  return Outcome::First;
}

void TInstanceGuard::OnConnection() {
  while (QLocalSocket* peer = server_->nextPendingConnection()) {
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    auto drain = [this, peer] {
      while (peer->canReadLine()) {
        if (peer->readLine() == kRestoreRequest) emit RestoreRequested();
      }
    };
    connect(peer, &QLocalSocket::readyRead, this, drain);
    drain();
  }
}

}  // namespace tovalin
