// Draws the toolbar in each text and icon option and its customization dialog, in English and
// Portuguese, into PNG files in the folder given, so they can be looked at without the whole program.
#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPixmap>
#include <cstdio>

#include "platform/registry.h"
#include "platform/string_table.h"
#include "services/toolbar/customize_dialog.h"
#include "services/toolbar/preset_combo_box.h"
#include "services/toolbar/toolbar_commands.h"
#include "services/toolbar/toolbar_ex.h"

namespace {

using services::CToolBarEx;

struct Window {
  QMainWindow frame;
  CToolBarEx* toolbar = nullptr;
};

void Build(Window& window) {
  using namespace services;
  auto action = [&](int command) {
    auto* result = new QAction(&window.frame);
    result->setData(command);
    return result;
  };
  window.toolbar = new CToolBarEx(&window.frame);
  window.toolbar->LoadButtons({{kCommandOpen, action(kCommandOpen)},
                               {kCommandSave, action(kCommandSave)},
                               {},
                               {kCommandSelection, action(kCommandSelection)},
                               {kCommandPresetList, nullptr},
                               {},
                               {kCommandConfig, action(kCommandConfig)},
                               {},
                               {kCommandAbout, action(kCommandAbout)}});
  auto* presets = new PresetComboBox;
  for (const char* name : {"Flat", "Rock", "Pop"}) presets->Add(name);
  presets->Select(1);
  window.toolbar->InsertControl(kCommandPresetList, presets);
  window.toolbar->AddDropDownButton(kCommandConfig, {action(32774), action(32772)}, true);
  window.toolbar->SetupButtons();
  window.toolbar->MarkPresentButtons();
  window.frame.addToolBar(window.toolbar);
  auto* client = new QWidget;
  client->setFixedSize(723, 40);
  window.frame.setCentralWidget(client);
  window.frame.show();
}

bool Save(QWidget& widget, const QString& path) {
  QApplication::processEvents();
  const bool saved = widget.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  // Nothing the pictures do may reach the user's own settings.
  platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, (folder + "/registry").toStdString());
  bool saved = true;
  for (auto [language, code] : {std::pair{platform::kLanguageEnglish, "en"}, {platform::kLanguagePortuguese, "pt"}}) {
    platform::SetUiLanguage(language);
    Window window;
    Build(window);
    for (int icon = 0; icon < 2; ++icon)
      for (int text = 0; text < 3; ++text) {
        window.toolbar->SetTextOptions(text);
        window.toolbar->SetIconOptions(icon);
        saved &= Save(*window.toolbar, QStringLiteral("%1/toolbar-%2-text%3-icon%4.png").arg(folder, code).arg(text).arg(icon));
      }
    window.toolbar->SetTextOptions(1);
    window.toolbar->SetIconOptions(0);
    saved &= Save(window.frame, QStringLiteral("%1/window-%2.png").arg(folder, code));
    services::CCustomizeDialog dialog(*window.toolbar, &window.frame);
    dialog.Current()->setCurrentRow(3);  // Selection: taken off, so the available list has a button
    dialog.Remove();
    dialog.show();
    saved &= Save(dialog, QStringLiteral("%1/customize-%2.png").arg(folder, code));
    QMenu* menu = window.toolbar->CreateContextMenu();
    menu->popup(window.frame.geometry().topLeft());
    saved &= Save(*menu, QStringLiteral("%1/context-menu-%2.png").arg(folder, code));
    dialog.reject();
  }
  return saved ? 0 : 1;
}
