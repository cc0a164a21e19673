// The desktop-entry reader, the desktop-file id and the Exec= program.
#include "core/apps/desktop_entry.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

TEST(DesktopEntry, ReadsOnlyTheDesktopEntryGroupAndTheFirstOfEachKey) {
  const auto entry = parseDesktopEntry(
      "# comment\n[Desktop Action new]\nName=New Window\nExec=other\n"
      "[Desktop Entry]\r\nType=Application\r\nName[fr]=Bonjour\nName = Hello \nName=Second\n"
      "Exec=hello %U\nNoDisplay=false\nHidden=true\nnot a key line\n[Other]\nType=Link\n");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->type, "Application");
  EXPECT_EQ(entry->name, "Hello");
  EXPECT_EQ(entry->exec, "hello %U");
  EXPECT_TRUE(entry->hidden);
  EXPECT_FALSE(entry->noDisplay);
  EXPECT_FALSE(entry->isListedApplication());
  EXPECT_FALSE(parseDesktopEntry("Type=Application\nName=No group\n"));
  EXPECT_FALSE(parseDesktopEntry(""));
}

TEST(DesktopEntry, IDsJoinSubfoldersWithDashes) {
  EXPECT_EQ(desktopFileID("org.gimp.GIMP.desktop"), "org.gimp.GIMP");
  EXPECT_EQ(desktopFileID("kde/okular.desktop"), "kde-okular");
}

TEST(DesktopEntry, ExecProgramSkipsEnvAndUnquotes) {
  EXPECT_EQ(execProgram("/usr/bin/code --unity-launch %F"), "/usr/bin/code");
  EXPECT_EQ(execProgram("env GDK_BACKEND=x11 -u X \"/opt/My App/run\" %u"), "/opt/My App/run");
  EXPECT_EQ(execProgram("\"/opt/a \\\"b\\\"/run"), "/opt/a \"b\"/run");
  EXPECT_EQ(execProgram("   "), "");
  EXPECT_EQ(execProgram("env"), "");
}

}  // namespace
}  // namespace glimmet
