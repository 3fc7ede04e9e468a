#include "app/about_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "widgets/link_label.h"
#include "widgets/ui_text.h"

namespace desktop {
namespace {
constexpr int kStringTitle = 62302;
constexpr int kStringVersion = 57344;
constexpr const char* kMakerSite = "https://www.brevalto.com";
}  // namespace

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(widgets::UiText(kStringTitle));
  auto* grid = new QGridLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
  grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
  grid->addWidget(new QLabel(widgets::UiText(kStringVersion), this), 0, 1);
  link_ = new widgets::CLinkLabel(QString::fromLatin1(kMakerSite), this);
  link_->SetUrl(QString::fromLatin1(kMakerSite));
  grid->addWidget(link_, 1, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  grid->addWidget(buttons, 0, 2, Qt::AlignTop);
  // Enter presses OK; the link comes after it by Tab.
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setDefault(true);
  setTabOrder(ok, link_);
  ok->setFocus();
}

}  // namespace desktop
