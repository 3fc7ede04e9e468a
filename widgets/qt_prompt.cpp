#include "widgets/qt_prompt.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "widgets/ui_text.h"

namespace widgets {
namespace {

QMessageBox::StandardButtons ButtonsOf(platform::PromptButtons buttons) {
  switch (buttons) {
    case platform::PromptButtons::Ok: return QMessageBox::Ok;
    case platform::PromptButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case platform::PromptButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case platform::PromptButtons::YesNoCancel: break;
  }
  return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
}

platform::PromptAnswer AnswerOf(int button) {
  switch (button) {
    case QMessageBox::Ok: return platform::PromptAnswer::Ok;
    case QMessageBox::Yes: return platform::PromptAnswer::Yes;
    case QMessageBox::No: return platform::PromptAnswer::No;
    default: return platform::PromptAnswer::Cancel;  // closing the box counts as Cancel
  }
}

}  // namespace

platform::PromptAnswer QtPrompt::ShowMessage(const std::string& text, platform::PromptButtons buttons) {
  const bool question = buttons != platform::PromptButtons::Ok && buttons != platform::PromptButtons::OkCancel;
  QMessageBox box(question ? QMessageBox::Question : QMessageBox::Warning, UiText(kStringFrameTitle),
                  QString::fromStdString(text), ButtonsOf(buttons), QApplication::activeWindow());
  return AnswerOf(box.exec());
}

bool QtPrompt::ChooseFile(const platform::FileDialogRequest& request, std::string* path) {
  QFileDialog dialog(QApplication::activeWindow());
  dialog.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dialog.setFileMode(request.open && (request.flags & platform::kFileMustExist) ? QFileDialog::ExistingFile
                                                                                : QFileDialog::AnyFile);
  if (!(request.flags & platform::kOverwritePrompt)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  dialog.setNameFilters(QtNameFilters(request.filter));
  const QFileInfo initial(QString::fromStdString(request.initialName));
  dialog.setDirectory(initial.absolutePath());
  if (!initial.fileName().contains('*')) dialog.selectFile(initial.fileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  *path = dialog.selectedFiles().front().toStdString();
  return true;
}

QStringList QtNameFilters(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    if (description.isEmpty()) break;
    const QString patterns = QString(parts[i + 1]).replace(';', ' ');
    filters << (description.contains('(') ? description : description + " (" + patterns + ")");
  }
  return filters;
}

}  // namespace widgets
