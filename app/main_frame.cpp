#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "app/about_dialog.h"
#include "app/start_up.h"
#include "engine/dsp_main.h"
#include "platform/menu_table.h"
#include "platform/string_table.h"
#include "services/command_ids.h"
#include "services/toolbar/main_toolbar.h"
#include "services/update_dialog.h"
#include "settings/configuration_stream.h"
#include "settings/string_ids.h"
#include "widgets/ui_text.h"

namespace desktop {
namespace {

constexpr int kStringCaption = 57344;
constexpr int kStringAskExit = 61464;
constexpr QSize kOuterSize(740, 370);
// How often the window looks where the sound plays: a device's configuration is loaded within a second of a move.
constexpr int kFollowDeviceMs = 250;

QString MenuText(int command) {
  for (const platform::MenuItem& item : platform::LoadMenu(services::kTrayMenu))
    if (item.command == command) return QString::fromStdString(item.text);
  return QString();
}

}  // namespace

CMainFrame::CMainFrame(FrameParts parts)
    : parts_(std::move(parts)), configure_(parts_.switches, this), devices_(parts_.outputs, parts_.output, this) {
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(widgets::UiText(kStringCaption));

  auto action = [this](int command, const QString& text) {
    auto* made = new QAction(text, this);
    connect(made, &QAction::triggered, this, [this, command] { OnCommand(command); });
    return made;
  };
  services::MainToolbarActions actions;
  actions.open = action(services::kCommandOpen, QString());
  actions.save = action(services::kCommandSave, QString());
  actions.selection = action(services::kCommandSelection, QString());
  actions.config = action(services::kCommandConfig, QString());
  actions.devices = action(services::kCommandDevices, MenuText(services::kCommandDevices));
  actions.configure = action(services::kCommandConfigure, MenuText(services::kCommandConfigure));
  actions.about = action(services::kCommandAbout, QString());
  // Checked, the engine plays its input untouched; the toolbar's button and the tray's item are this action.
  bypass_ = new QAction(MenuText(services::kCommandBypass), this);
  bypass_->setCheckable(true);
  bypass_->setChecked(parts_.panelState.parameters.bypass != 0);
  connect(bypass_, &QAction::toggled, this, [this](bool on) { parts_.panelState.parameters.bypass = on ? 1 : 0; });
  actions.bypass = bypass_;
  tray_.Share(services::kCommandBypass, bypass_);
  presets_ = new services::PresetComboBox(this);
  toolbar_ = services::CreateMainToolbar(*this, actions, presets_);
  MeasureDefaultToolbar();
  // The window grows with the toolbar, so the panels below it keep their size.
  connect(toolbar_, &QToolBar::iconSizeChanged, this, &CMainFrame::FitOuterSizeLater);
  connect(toolbar_, &QToolBar::toolButtonStyleChanged, this, &CMainFrame::FitOuterSizeLater);
  connect(toolbar_, &QToolBar::topLevelChanged, this, &CMainFrame::FitOuterSizeLater);
  connect(toolbar_, &QToolBar::orientationChanged, this, &CMainFrame::FitOuterSizeLater);
  connect(toolbar_, &QToolBar::visibilityChanged, this, &CMainFrame::FitOuterSizeLater);
  parts_.selection.BuildPresetList(*presets_, platform::UiLanguage());
  connect(presets_, &QComboBox::activated, this, [this] {
    parts_.selection.OnPresetSelected();
    host_->ShowFirstPanel();
  });

  host_ = new panels::PanelHost(parts_.panelState, this);
  setCentralWidget(host_);

  // The audio-program warning is decided now and shown once, 25 s later, if still due.
  warning_ = std::make_unique<settings::AudioProgramWarning>(parts_.panelState.parameters.warningPending,
                                                             parts_.switches.preferredDevice, processes_,
                                                             settings::TodayUtcDayOfMonth());
  warningDialog_ = std::make_unique<services::CWarningDialog>(*warning_, this);
  warningDialog_->StartTimer();

  // Bindings of configurations to output devices: the device at start plays what was current at the last end.
  followed_ = parts_.outputDevice;
  devices_.chosen = [this](const std::string& device) { FollowOutputDevice(device); };
  devices_.useForDevice = [this](const std::string& device) { parts_.selection.BindToDevice(device); };
  if (parts_.playingDevice) {
    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, [this] {
      const std::string playing = parts_.playingDevice();
      if (!playing.empty()) FollowOutputDevice(playing);
    });
    watch->start(kFollowDeviceMs);
  }

  trayShown_ = tray_.Create(this, QApplication::windowIcon(), kStringCaption);
  connect(&tray_, &services::CTrayIcon::Command, this, &CMainFrame::OnCommand);

  if (const QScreen* screen = QApplication::primaryScreen()) {
    const FramePlace place = PlaceFrame(screen->size().width(), screen->size().height());
    move(place.left, place.top);
  }
  // Fixed from the first map on: a window manager frames a resizable window with a grip that it takes away
  // once the size is fixed, and that change of frame brings no event to fit the size to again.
  setFixedSize(kOuterSize + ToolbarGrowth());
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FitOuterSize();
}

void CMainFrame::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  FitOuterSize();
}

void CMainFrame::MeasureDefaultToolbar() {
  // The fixed outer size is made for the toolbar's default look: small icons, labels on the right.
  const int text = toolbar_->TextOption(), icons = toolbar_->IconOption();
  toolbar_->SetTextOptions(1);
  toolbar_->SetIconOptions(0);
  defaultToolbar_ = toolbar_->sizeHint();
  toolbar_->SetTextOptions(text);
  toolbar_->SetIconOptions(icons);
}

QSize CMainFrame::ToolbarGrowth() const {
  if (toolbar_->isHidden() || toolbar_->isFloating()) return {};
  const QSize now = toolbar_->sizeHint();
  if (toolbar_->orientation() == Qt::Vertical) return {now.width(), 0};  // docked on a side
  return {0, std::max(0, now.height() - defaultToolbar_.height())};
}

void CMainFrame::FitOuterSizeLater() {
  // Once the toolbar's own layout has taken the change in.
  QMetaObject::invokeMethod(
      this, [this] { FitOuterSize(); }, Qt::QueuedConnection);
}

void CMainFrame::FitOuterSize() {
  // The outer size includes the window manager's frame, known only once the window manager has framed the
  // window, which is after it was shown: the move that framing makes comes later.
  const QSize frame = frameGeometry().size() - size();
  const QSize wanted = kOuterSize - frame + ToolbarGrowth();
  if (wanted != size()) setFixedSize(wanted);
}

void CMainFrame::OnCommand(int command) {
  switch (command) {
    case services::kCommandExit: Exit(); break;
    case services::kCommandConfigure:
    case services::kCommandConfig:
      configure_.Load();
      configure_.exec();
      break;
    case services::kCommandOpenWindow: Restore(); break;
    case services::kCommandDevices:
      devices_.Fill(parts_.outputDevice);
      devices_.exec();
      parts_.outputDevice = devices_.Chosen();
      break;
    case services::kCommandUpdates: {
      services::CUpdateDialog dialog(parts_.prompt, this);
      dialog.exec();
      break;
    }
    case services::kCommandOpen:
      parts_.selection.OpenUserFile();
      host_->ShowFirstPanel();
      break;
    case services::kCommandSave: parts_.selection.SaveUserFile(); break;
    case services::kCommandBypass: bypass_->toggle(); break;
    case services::kCommandUseForDevice: parts_.selection.BindToDevice(followed_); break;
    case services::kCommandAbout: {
      CAboutDialog about(this);
      about.exec();
      break;
    }
    default:  // the Selection button does nothing
      break;
  }
}

bool CMainFrame::SelectPreset(const std::string& title) {
  if (parts_.selection.FindPreset(title) < 0) return false;
  QMetaObject::invokeMethod(
      this,
      [this, title] {
        const int index = parts_.selection.FindPreset(title);  // the list may have changed meanwhile
        if (index < 0) return;
        presets_->Select(index);
        parts_.selection.OnPresetSelected();
        host_->ShowFirstPanel();
      },
      Qt::QueuedConnection);
  return true;
}

std::string CMainFrame::OpenConfiguration(const std::string& path) {
  int error = 0;
  std::FILE* file = settings::OpenConfigurationFile(path, &error);
  if (!file) return "cannot read " + path + ": " + settings::ConfigurationOpenErrorText(error);
  std::fclose(file);
  QMetaObject::invokeMethod(
      this,
      [this, path] {
        parts_.selection.OfferToSavePending();
        if (parts_.selection.LoadUserFile(path) != 0)
          parts_.prompt.ShowMessage(platform::LoadString(settings::kStringCannotOpenFile), platform::PromptButtons::Ok);
        host_->ShowFirstPanel();
      },
      Qt::QueuedConnection);
  return {};
}

void CMainFrame::FollowOutputDevice(const std::string& device) {
  if (device == followed_) return;
  followed_ = device;
  if (parts_.selection.ApplyDeviceBinding(device)) host_->ShowFirstPanel();
}

void CMainFrame::ShowAtStart(bool minimized) {
  if (!minimized) {
    Restore();
  } else if (!tray_.isAvailable()) {
    showMinimized();  // without a notification area a hidden window could not be found again
  }
}

void CMainFrame::Restore() {
  host_->ShowFirstPanel();
  setWindowTitle(widgets::UiText(kStringCaption));
  showNormal();
  raise();
  activateWindow();
}

void CMainFrame::HideToTray() {
  // Decided each time: a notification area may appear (or go) after log-on.
  if (tray_.isAvailable()) {
    if (!trayShown_) trayShown_ = tray_.Create(this, QApplication::windowIcon(), kStringCaption);
    hide();
  } else if (!isMinimized()) {
    showMinimized();
  }
}

void CMainFrame::Exit() {
  // The user decides here what becomes of unsaved changes; a kept copy still waiting must not undo that.
  parts_.panelState.writes.Cancel(panels::StoredPart::kConfiguration);
  parts_.selection.SaveOnExit();
  if (parts_.prompt.ShowMessage(platform::LoadString(kStringAskExit), platform::PromptButtons::YesNoCancel) !=
      platform::PromptAnswer::Yes)
    return;
  ending_ = true;
  QApplication::quit();
}

void CMainFrame::EndSession() {
  if (ending_) return;
  ending_ = true;
  // Nobody is there to answer a message box: a failure goes to the error output.
  parts_.panelState.writes.Flush();
  parts_.selection.KeepPendingChanges();
  QApplication::quit();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (ending_) {
    event->accept();
    return;
  }
  event->ignore();
  HideToTray();
}

void CMainFrame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_.isAvailable())
    QMetaObject::invokeMethod(
        this, [this] { HideToTray(); }, Qt::QueuedConnection);
}

}  // namespace desktop
