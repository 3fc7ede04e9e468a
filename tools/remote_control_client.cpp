#include "tools/remote_control_client.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <cstdio>
#include <filesystem>

#include "services/remote_control_bus.h"
#include "tools/cli_arguments.h"

namespace cli {
namespace {

// The program answers every call at once; longer means it hangs, and a script should not hang with it.
constexpr int kCallTimeoutMs = 5000;

// The method and its argument for a command line, or a UsageError.
QDBusMessage MakeCall(const std::vector<std::string>& args) {
  const std::string what = args.empty() ? std::string() : args[0];
  const size_t wanted = what == "status" ? 1 : 2;
  if (args.size() != wanted || (what != "status" && what != "preset" && what != "file" && what != "bypass"))
    throw UsageError("expected preset NAME, file PATH, bypass on|off|toggle or status");
  auto call = [](const char* method) {
    return QDBusMessage::createMethodCall(services::kRemoteService, services::kRemotePath, services::kRemoteInterface,
                                          method);
  };
  if (what == "status") return call("Status");
  const QString value = QString::fromStdString(args[1]);
  if (what == "preset") return call("LoadPreset") << value;
  // The running program has a working folder of its own.
  if (what == "file") return call("LoadFile") << QString::fromStdString(std::filesystem::absolute(args[1]).string());
  if (args[1] == "toggle") return call("ToggleBypass");
  if (args[1] != "on" && args[1] != "off") throw UsageError("bypass takes on, off or toggle, not \"" + args[1] + "\"");
  return call("SetBypass") << (args[1] == "on");
}

}  // namespace

int RunControl(const std::vector<std::string>& args) {
  const QDBusMessage call = MakeCall(args);
  if (!services::SessionBusConfigured()) throw NotRunning("no Tonvex is running: this session has no D-Bus bus");
  int argc = 1;
  char name[] = "tonvex-cli";
  char* argv[] = {name, nullptr};
  QCoreApplication application(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected())
    throw NotRunning("no Tonvex is running: the session bus cannot be reached (" +
                     bus.lastError().message().toStdString() + ")");
  if (!bus.interface()->isServiceRegistered(services::kRemoteService))
    throw NotRunning("no Tonvex is running on this session bus");
  const QDBusMessage answer = bus.call(call, QDBus::Block, kCallTimeoutMs);
  if (answer.type() == QDBusMessage::ErrorMessage) {
    const std::string text = answer.errorMessage().toStdString();
    if (answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown"))
      throw NotRunning("no Tonvex is running on this session bus");
    throw RunError(text);
  }
  if (call.member() == QLatin1String("Status")) {
    const QVariantMap status = QDBusReply<QVariantMap>(answer).value();
    for (const char* key : services::kStatusKeys)
      std::printf("%s: %s\n", key, status.value(QString::fromLatin1(key)).toString().toLocal8Bit().constData());
  } else if (call.member() == QLatin1String("ToggleBypass")) {
    std::printf("bypass: %s\n", QDBusReply<bool>(answer).value() ? "on" : "off");
  }
  return 0;
}

}  // namespace cli
