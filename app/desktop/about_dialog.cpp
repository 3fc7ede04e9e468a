#include "app/desktop/about_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>

#include "app/link_label.h"
#include "app/ui_text.h"

namespace desktop {
namespace {
constexpr int kStringTitle = 62302;
constexpr int kStringVersion = 57344;
constexpr const char* kMakerSite = "https://www.brevalto.com";
}  // namespace

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(app::UiText(kStringTitle));
  auto* grid = new QGridLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
  grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
  grid->addWidget(new QLabel(app::UiText(kStringVersion), this), 0, 1);
  auto* link = new app::CLinkLabel(QString::fromLatin1(kMakerSite), this);
  link->SetUrl(QString::fromLatin1(kMakerSite));
  grid->addWidget(link, 1, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  grid->addWidget(buttons, 0, 2, Qt::AlignTop);
}

}  // namespace desktop
