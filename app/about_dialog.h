#pragma once
#include <QDialog>

namespace widgets {
class CLinkLabel;
}

namespace desktop {

// "About Tonvex": the icon, the program's name and version, and a link to the maker's web site.
class CAboutDialog : public QDialog {
 public:
  explicit CAboutDialog(QWidget* parent = nullptr);

  widgets::CLinkLabel* Link() const { return link_; }

 private:
  widgets::CLinkLabel* link_;
};

}  // namespace desktop
