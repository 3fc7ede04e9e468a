#include "platform/autostart.h"

#include <fstream>

#include "tests/services/services_fixture.h"

namespace {

class AutostartTest : public ServicesFixture {};

// The entry lands in $XDG_CONFIG_HOME/autostart, quoted and escaped as the desktop entry format wants
// (expected lines written by hand), reads back as set for that program only, and is gone after removal; an
// entry written by hand or switched off in the desktop's start-up settings reads as it says.
TEST_F(AutostartTest, WrittenReadRemovedAndEntriesWrittenElsewhere) {
  const struct {
    std::string program, exec;
  } cases[] = {
      {"/usr/local/bin/tonvex", "Exec=/usr/local/bin/tonvex"},
      {"/home/ana/Meus Programas/tonvex", R"(Exec="/home/ana/Meus Programas/tonvex")"},
      {R"(/opt/a"b$c\d/tonvex)", R"(Exec="/opt/a\\"b\\$c\\\\d/tonvex")"},
      {"/opt/100%/tonvex", "Exec=/opt/100%%/tonvex"},
  };
  EXPECT_EQ(platform::AutostartFilePath(), root + "/config/autostart/tonvex.desktop");
  for (const auto& c : cases) {
    ASSERT_EQ(platform::SetLaunchOnLogOn(c.program), 0);
    std::ifstream file(platform::AutostartFilePath());
    std::string line;
    while (std::getline(file, line) && !line.starts_with("Exec=")) continue;
    EXPECT_EQ(line, c.exec);
    EXPECT_TRUE(platform::IsLaunchOnLogOnSet(c.program)) << c.program;
    EXPECT_FALSE(platform::IsLaunchOnLogOnSet("/opt/old/bin/tonvex"));
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(platform::AutostartFolder()), {}), 1);
  ASSERT_EQ(platform::RemoveLaunchOnLogOn(), 0);
  EXPECT_FALSE(platform::IsLaunchOnLogOnSet(cases[0].program));

  // Entries written by hand or switched off in the desktop's start-up settings.
  const struct {
    std::string lines;
    bool set;
  } others[] = {
      {"Exec=tonvex\n", true},  // found on PATH
      {"Exec = /usr/bin/tonvex --minimized\n", true},
      {"Exec=/usr/bin/tonvex\nHidden=true\n", false},
      {"Exec=/usr/bin/tonvex\nX-GNOME-Autostart-enabled=false\n", false},
      {"Exec=\"/usr/bin/tonvex\n", false},  // unterminated quote
      {"[Other Group]\nExec=/usr/bin/tonvex\n", false},
  };
  std::filesystem::create_directories(platform::AutostartFolder());
  for (const auto& c : others) {
    std::ofstream(platform::AutostartFilePath()) << "[Desktop Entry]\nType=Application\n" << c.lines;
    EXPECT_EQ(platform::IsLaunchOnLogOnSet("/usr/bin/tonvex"), c.set) << c.lines;
  }
}

}  // namespace
