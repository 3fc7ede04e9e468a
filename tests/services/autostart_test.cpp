#include <fstream>

#include "platform/autostart.h"
#include "tests/services/services_fixture.h"

namespace {

class AutostartTest : public ServicesFixture {
 protected:
  void WriteEntry(const std::string& lines) {
    std::filesystem::create_directories(platform::AutostartFolder());
    std::ofstream(platform::AutostartFilePath()) << "[Desktop Entry]\nType=Application\n" << lines;
  }
  std::string ExecLine() {
    std::ifstream file(platform::AutostartFilePath());
    for (std::string line; std::getline(file, line);)
      if (line.starts_with("Exec=")) return line;
    return {};
  }
};

// The entry lands in $XDG_CONFIG_HOME/autostart (created when missing), reads back as set for the same
// program only, and is gone after removal; no temporary file stays behind.
TEST_F(AutostartTest, SetReadAndRemove) {
  const std::string program = "/usr/local/bin/tonvex";
  EXPECT_EQ(platform::AutostartFilePath(), root + "/config/autostart/tonvex.desktop");
  EXPECT_FALSE(platform::IsLaunchOnLogOnSet(program));
  ASSERT_EQ(platform::SetLaunchOnLogOn(program), 0);
  EXPECT_TRUE(platform::IsLaunchOnLogOnSet(program));
  EXPECT_FALSE(platform::IsLaunchOnLogOnSet("/opt/old/bin/tonvex"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(platform::AutostartFolder()), {}), 1);
  ASSERT_EQ(platform::RemoveLaunchOnLogOn(), 0);
  EXPECT_FALSE(platform::IsLaunchOnLogOnSet(program));
  EXPECT_EQ(platform::RemoveLaunchOnLogOn(), 0);
}

// Paths that need quoting and escaping in an Exec line, written as the desktop entry format wants them
// and read back to the same program.
TEST_F(AutostartTest, ProgramPathsAreQuotedAndEscaped) {
  const struct {
    std::string program;
    std::string exec;
  } cases[] = {
      {"/home/ana/Meus Programas/tonvex", R"(Exec="/home/ana/Meus Programas/tonvex")"},
      {R"(/opt/a"b$c\d/tonvex)", R"(Exec="/opt/a\\"b\\$c\\\\d/tonvex")"},
      {"/opt/100%/tonvex", "Exec=/opt/100%%/tonvex"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(platform::SetLaunchOnLogOn(c.program), 0);
    EXPECT_EQ(ExecLine(), c.exec);
    EXPECT_TRUE(platform::IsLaunchOnLogOnSet(c.program)) << c.program;
  }
}

// Entries written by hand or switched off by the desktop's start-up settings.
TEST_F(AutostartTest, EntriesWrittenElsewhere) {
  const std::string program = "/usr/bin/tonvex";
  const struct {
    std::string lines;
    bool set;
  } cases[] = {
      {"Exec=tonvex\n", true},  // found on PATH
      {"Exec = /usr/bin/tonvex --minimized\n", true},
      {"Exec=/usr/bin/tonvex\nHidden=true\n", false},
      {"Exec=/usr/bin/tonvex\nX-GNOME-Autostart-enabled=false\n", false},
      {"Exec=\"/usr/bin/tonvex\n", false},  // unterminated quote
      {"Name=Tonvex\n", false},
      {"[Other Group]\nExec=/usr/bin/tonvex\n", false},
  };
  for (const auto& c : cases) {
    WriteEntry(c.lines);
    EXPECT_EQ(platform::IsLaunchOnLogOnSet(program), c.set) << c.lines;
  }
}

}  // namespace
