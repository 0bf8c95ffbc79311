// What `valise reg show` and `valise link show` print, read back from a real registry key and
// shell link file.
#include "show.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/shell.h"
#include "test_support.h"

namespace valise::tools {
namespace {

using platform::RegRoot;

TEST(ShowTest, RegKeyNamesTakeEveryRootSpellingAndNothingElse) {
  EXPECT_EQ(ParseRegKeyName("hkey_local_machine\\Software\\Acme\\"),
            std::make_pair(RegRoot::LocalMachine, std::string("Software\\Acme")));
  EXPECT_EQ(ParseRegKeyName("HKCU"), std::make_pair(RegRoot::CurrentUser, std::string()));
  EXPECT_EQ(ParseRegKeyName("HKCR\\.txt"),
            std::make_pair(RegRoot::ClassesRoot, std::string(".txt")));
  EXPECT_FALSE(ParseRegKeyName("HKEY_CURRENT_USERS\\Software"));
  EXPECT_FALSE(ParseRegKeyName("Software\\Acme"));
}

TEST(ShowTest, AKeyIsListedWithItsValuesThenItsSubkeys) {
  const std::string path = "Software\\Valise tools test";
  platform::DeleteRegKeyTree(RegRoot::CurrentUser, path);
  {
    platform::RegKey key = platform::RegKey::Create(RegRoot::CurrentUser, path);
    key.WriteString("", "default");
    key.WriteBinary("Bytes", {0x01, 0xab});
    key.WriteDWord("Number", 0xfffffffe);
    key.WriteExpandString("Path", "%TEMP%\\x");
    key.WriteString("Title", "Englisch f\xc3\xbcr Einsteiger");
    key.Close();
    platform::RegKey sub = platform::RegKey::Create(RegRoot::CurrentUser, path + "\\Empty");
    sub.Close();
  }
  const std::optional<std::string> shown =
      ShowRegKey(RegRoot::CurrentUser, path, "HKEY_CURRENT_USER\\" + path);
  platform::DeleteRegKeyTree(RegRoot::CurrentUser, path);
  ASSERT_TRUE(shown);
  EXPECT_EQ(*shown,
            "[HKEY_CURRENT_USER\\Software\\Valise tools test]\n"
            "    (Default)    REG_SZ    default\n"
            "    Bytes    REG_BINARY    01 ab\n"
            "    Number    REG_DWORD    0xfffffffe (-2)\n"
            "    Path    REG_EXPAND_SZ    %TEMP%\\x\n"
            "    Title    REG_SZ    Englisch f\xc3\xbcr Einsteiger\n"
            "[HKEY_CURRENT_USER\\Software\\Valise tools test\\Empty]\n");
  EXPECT_FALSE(ShowRegKey(RegRoot::CurrentUser, path, "gone"));
}

TEST(ShowTest, AShellLinkShowsItsTargetIconAndHotKey) {
  testing::TempDir dir;
  platform::ShellLinkData link;
  link.target = "C:\\Program Files\\Vantorel\\Valise Demo\\README.TXT";
  link.arguments = "/a \"b c\"";
  link.workingDirectory = "C:\\Program Files\\Vantorel";
  link.iconLocation = "C:\\windows\\notepad.exe";
  link.iconIndex = 2;
  link.hotKey = 0x0652;  // Ctrl+Alt+R
  link.showCommand = 3;
  ASSERT_NO_THROW(platform::WriteShellLink(link, dir.win("Read me.lnk")));
  EXPECT_EQ(ShowShellLink(platform::ReadShellLink(dir.win("Read me.lnk"))),
            "target:            C:\\Program Files\\Vantorel\\Valise Demo\\README.TXT\n"
            "arguments:         /a \"b c\"\n"
            "working directory: C:\\Program Files\\Vantorel\n"
            "description:\n"
            "icon:              C:\\windows\\notepad.exe,2\n"
            "hot key:           Ctrl+Alt+R\n"
            "show command:      3\n");
  EXPECT_EQ(HotKeyText(0x0170), "Shift+F1");
  EXPECT_EQ(HotKeyText(0x032E), "Shift+Ctrl+Del");
  EXPECT_EQ(HotKeyText(0), "(none)");
}

}  // namespace
}  // namespace valise::tools
