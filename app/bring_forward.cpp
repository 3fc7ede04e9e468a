#include "app/bring_forward.h"

#include <QLocalSocket>

#include "platform/instance_lock.h"

namespace desktop {
namespace {
QString SocketPath() { return QString::fromStdString(platform::InstanceLock::DefaultPath() + ".forward"); }
}  // namespace

bool ForwardListener::Listen(std::function<void()> comeForward) {
  comeForward_ = std::move(comeForward);
  QLocalServer::removeServer(SocketPath());
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* client = server_.nextPendingConnection()) {
      client->deleteLater();
      comeForward_();
    }
  });
  return server_.listen(SocketPath());
}

bool AskRunningToComeForward() {
  QLocalSocket socket;
  socket.connectToServer(SocketPath());
  if (!socket.waitForConnected(1000)) return false;
  socket.write("1");
  socket.waitForBytesWritten(1000);
  socket.disconnectFromServer();
  return true;
}

}  // namespace desktop
