#pragma once
#include <QDialog>

namespace app {
class CLinkLabel;
}

namespace desktop {

// "About Tonvex": the icon, the program's name and version, and a link to the maker's web site.
class CAboutDialog : public QDialog {
 public:
  explicit CAboutDialog(QWidget* parent = nullptr);

  app::CLinkLabel* Link() const { return link_; }

 private:
  app::CLinkLabel* link_;
};

}  // namespace desktop
