// Renders the services' windows to PNG files for looking at them: the warning dialog, the update dialog
// in each state (against a local endpoint) and the tray menu, in English and Portuguese.
//   services_pictures OUTPUT_FOLDER   (with QT_QPA_PLATFORM=offscreen, or under Xvfb)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/registry.h"
#include "platform/string_table.h"
#include "services/service_ids.h"
#include "services/tray_icon.h"
#include "services/update_dialog.h"
#include "services/warning_dialog.h"
#include "tools/local_http_server.h"

namespace {

const char* kProductKey = "Software\\Brevalto\\Tonvex";

void Settle(int ms = 100) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool Save(QWidget& widget, const QString& path) {
  Settle();
  const bool saved = widget.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
  return saved;
}

// Asks the local endpoint and waits for its answer.
void Check(services::CUpdateDialog& dialog) {
  dialog.OkButton()->click();
  QElapsedTimer clock;
  clock.start();
  while (dialog.Checking() && clock.elapsed() < 5000) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

class NoPrompt : public platform::UserPrompt {
 public:
  platform::PromptAnswer ShowMessage(const std::string&, platform::PromptButtons) override {
    return platform::PromptAnswer::Ok;
  }
  bool ChooseFile(const platform::FileDialogRequest&, std::string*) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: services_pictures OUTPUT_FOLDER\n");
    return 2;
  }
  QApplication application(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  QTemporaryDir registry;
  platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, (registry.path() + "/user").toStdString());
  platform::SetRegistryFolder(platform::HKEY_LOCAL_MACHINE, (registry.path() + "/machine").toStdString());
  platform::RegistryKey machine, user;
  machine.Create(platform::HKEY_LOCAL_MACHINE, kProductKey);
  user.Create(platform::HKEY_CURRENT_USER, kProductKey);
  machine.SetString("version", "1.0");
  LocalHttpServer server;
  machine.SetString("update_server", server.Base().toStdString());

  bool ok = true;
  NoPrompt prompt;
  for (int language : {platform::kLanguageEnglish, platform::kLanguagePortuguese}) {
    platform::SetUiLanguage(language);
    const QString suffix = language == platform::kLanguageEnglish ? "_en.png" : "_pt.png";

    std::atomic<int> pending{0};
    platform::CProcessList processes;
    settings::AudioProgramWarning decision(pending, 0, processes, 1);
    services::CWarningDialog warning(decision);
    warning.show();
    ok &= Save(warning, out + "/warning" + suffix);

    for (const char* answer : {"FALSE", "TRUE"}) {
      server.answer = answer;
      services::CUpdateDialog update(prompt);
      update.show();
      if (answer[0] == 'F') ok &= Save(update, out + "/update_start" + suffix);
      Check(update);
      ok &= Save(update, out + (answer[0] == 'F' ? "/update_newer" : "/update_current") + suffix);
    }
    server.behaviour = LocalHttpServer::Behaviour::Silent;
    services::CUpdateDialog waiting(prompt);
    waiting.show();
    waiting.OkButton()->click();
    ok &= Save(waiting, out + "/update_waiting" + suffix);
    waiting.reject();
    server.behaviour = LocalHttpServer::Behaviour::Answer;

    services::CTrayIcon tray;
    tray.Create(nullptr, QIcon(), services::kStringTrayTip);
    tray.Menu().popup(QPoint(0, 0));
    ok &= Save(tray.Menu(), out + "/tray_menu" + suffix);
    tray.Menu().hide();
  }
  return ok ? 0 : 1;
}
