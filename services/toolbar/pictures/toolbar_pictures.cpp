// Draws the toolbar in each text and icon option and its customization dialog, in English and
// Portuguese, into PNG files in the folder given, so they can be looked at without the whole program.
#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <cstdio>
#include <vector>

#include "platform/registry.h"
#include "platform/string_table.h"
#include "services/toolbar/customize_dialog.h"
#include "services/toolbar/main_toolbar.h"
#include "services/toolbar/preset_combo_box.h"
#include "services/toolbar/toolbar_ex.h"

namespace {

using services::CToolBarEx;

struct Window {
  QMainWindow frame;
  CToolBarEx* toolbar = nullptr;
};

void Build(Window& window) {
  auto action = [&] { return new QAction(&window.frame); };
  auto* presets = new services::PresetComboBox;
  for (const char* name : {"Flat", "Rock", "Pop"}) presets->Add(name);
  presets->Select(1);
  window.toolbar = services::CreateMainToolbar(
      window.frame, {action(), action(), action(), action(), action(), action(), action()}, presets);
  auto* client = new QWidget;
  client->setFixedSize(723, 160);
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
  bool saved = true;
  for (auto [language, code] : {std::pair{platform::kLanguageEnglish, "en"}, {platform::kLanguagePortuguese, "pt"}}) {
    platform::SetUiLanguage(language);
    // Nothing the pictures do may reach the user's own settings, nor one language's pictures the other's.
    const QString registry = QStringLiteral("%1/registry-%2").arg(folder, code);
    platform::SetRegistryFolder(platform::HKEY_CURRENT_USER, registry.toStdString());
    Window window;
    Build(window);
    // One sheet: the six text and icon options from top to bottom.
    std::vector<QPixmap> options;
    for (int icon = 0; icon < 2; ++icon)
      for (int text = 0; text < 3; ++text) {
        window.toolbar->SetTextOptions(text);
        window.toolbar->SetIconOptions(icon);
        QApplication::processEvents();
        options.push_back(window.toolbar->grab());
      }
    int height = 0;
    for (const QPixmap& option : options) height += option.height() + 4;
    QPixmap sheet(window.frame.width(), height);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    int top = 0;
    for (const QPixmap& option : options) {
      painter.drawPixmap(0, top, option);
      top += option.height() + 4;
    }
    painter.end();
    const QString sheetPath = QStringLiteral("%1/toolbar-options-%2.png").arg(folder, code);
    saved &= sheet.save(sheetPath);
    std::printf("wrote %s\n", qPrintable(sheetPath));
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
    window.frame.addToolBar(Qt::LeftToolBarArea, window.toolbar);  // the preset list hides on a side
    saved &= Save(window.frame, QStringLiteral("%1/window-left-%2.png").arg(folder, code));
  }
  return saved ? 0 : 1;
}
