#pragma once
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <string>
#include <vector>

namespace services {

// What the window does for the remote control; each runs on the window's thread.
struct RemoteHandlers {
  // Load the preset shown or stored as `title` as if picked in the list: false when there is none.
  std::function<bool(const std::string& title)> loadPreset;
  // Load the configuration file `path` as Open does: empty, or why it cannot be read.
  std::function<std::string(const std::string& path)> loadFile;
  std::function<bool()> bypass;
  std::function<void(bool on)> setBypass;
  // Status()'s pairs, keys from remote_control_bus.h.
  std::function<std::vector<std::pair<std::string, std::string>>()> status;
};

// The running program's control on the session bus (see remote_control_bus.h for its names). Calls arrive
// on the window's thread and answer at once: a load that must ask about unsaved changes asks after the answer.
class CRemoteControl : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "io.github.brevalto.Tonvex.Control")

 public:
  explicit CRemoteControl(RemoteHandlers handlers, QObject* parent = nullptr);
  // Takes the well-known name on the session bus and offers the methods there; false, with the reason in
  // `error`, when the bus cannot be reached or another process holds the name; false with no reason when the
  // session names no bus.
  bool Register(QString* error);

 public slots:
  Q_SCRIPTABLE void LoadPreset(const QString& title);
  Q_SCRIPTABLE void LoadFile(const QString& path);
  Q_SCRIPTABLE void SetBypass(bool on);
  Q_SCRIPTABLE bool ToggleBypass();
  Q_SCRIPTABLE bool Bypass();
  Q_SCRIPTABLE QVariantMap Status();

 private:
  RemoteHandlers handlers_;
};

}  // namespace services
