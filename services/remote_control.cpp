#include "services/remote_control.h"

#include <QDBusConnectionInterface>

#include "services/remote_control_bus.h"

namespace services {

CRemoteControl::CRemoteControl(RemoteHandlers handlers, QObject* parent)
    : QObject(parent), handlers_(std::move(handlers)) {}

bool CRemoteControl::Register(QString* error) {
  if (!SessionBusConfigured()) return false;  // a start without a desktop session: nothing to tell
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    *error = bus.lastError().message();
    return false;
  }
  if (!bus.registerObject(kRemotePath, this, QDBusConnection::ExportScriptableSlots)) {
    *error = QStringLiteral("cannot offer %1").arg(kRemotePath);
    return false;
  }
  // Never queued behind another holder: a second program on this bus has been refused at start already.
  if (!bus.registerService(kRemoteService)) {
    *error = bus.lastError().message();
    bus.unregisterObject(kRemotePath);
    return false;
  }
  return true;
}

void CRemoteControl::LoadPreset(const QString& title) {
  if (!handlers_.loadPreset(title.toStdString()))
    sendErrorReply(kRemoteErrorNotFound, QStringLiteral("no preset \"%1\"").arg(title));
}

void CRemoteControl::LoadFile(const QString& path) {
  const std::string failure = handlers_.loadFile(path.toStdString());
  if (!failure.empty()) sendErrorReply(kRemoteErrorNotFound, QString::fromStdString(failure));
}

void CRemoteControl::SetBypass(bool on) { handlers_.setBypass(on); }

bool CRemoteControl::ToggleBypass() {
  handlers_.setBypass(!handlers_.bypass());
  return handlers_.bypass();
}

bool CRemoteControl::Bypass() { return handlers_.bypass(); }

QVariantMap CRemoteControl::Status() {
  QVariantMap status;
  for (const auto& [key, value] : handlers_.status())
    status.insert(QString::fromStdString(key), QString::fromStdString(value));
  return status;
}

}  // namespace services
