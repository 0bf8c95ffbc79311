// The window's rules without a window: rows, ticks and selection, the directory controls,
// Continue's state and what Continue runs.
#include <gtest/gtest.h>

#include "platform/registry.h"
#include "setup_test_support.h"
#include "ui/setup_window_model.h"

namespace valise::ui {
namespace {

using setup::testing::FakeUI;
using setup::testing::TestRegistry;
using valise::testing::TempDir;

TEST(SetupWindowModel, RowsTicksDirectoryControlsAndContinue) {
  TempDir dir;
  TestRegistry registry;
  {
    auto record =
        platform::RegKey::Create(platform::RegRoot::CurrentUser, registry.Path() + "\\OLD_1_1");
    record.WriteString("Title", "Installed only");
    record.WriteString("InstallDir", dir.win("old"));
    record.Close();
  }
  dir.Write("SETUP.inf",
            "[Globals]\r\nRegBaseKey=" + registry.Rooted() +
                "\r\n"
                "[Application1]\r\nTitle=Omega\r\nProductCode=OM\r\nAllowCustomInstallDir=1\r\n"
                "InstallDir=<SrcDir>\\Programs\\Omega\r\n"
                "[Application2]\r\nTitle=Alpha\r\nProductCode=AL\r\n"
                "[Application3]\r\nTitle=Broken\r\nProductCode=BR\r\nInstallDir=<Nowhere>\\x\r\n");
  FakeUI ui;
  setup::TSetupDataModule setupData(ui, dir.win("SETUP.EXE"), {});
  setupData.Create();
  TSetupWindowModel model(setupData);
  model.SetUp();

  // Sorted by title, ticked when installed or selected, bold when from the script; the first
  // application that is not installed (Omega) is selected.
  ASSERT_EQ(model.Rows().size(), 4u);
  std::vector<std::string> titles;
  for (const TListRow& row : model.Rows()) titles.push_back(row.App->Title);
  EXPECT_EQ(titles, (std::vector<std::string>{"Alpha", "Broken", "Installed only", "Omega"}));
  for (const TListRow& row : model.Rows()) EXPECT_TRUE(row.Checked);
  EXPECT_FALSE(model.Rows()[2].FromScript());
  EXPECT_TRUE(model.Rows()[3].FromScript());
  EXPECT_EQ(model.Selected(), 3);
  EXPECT_TRUE(model.ContinueEnabled);
  EXPECT_TRUE(model.DirectoryVisible);
  EXPECT_EQ(model.DirectoryText, dir.win("Programs\\Omega"));
  EXPECT_TRUE(model.DirectoryButtonEnabled);

  // Alpha has no directory: the controls hide. Unticking what is not installed leaves
  // nothing to do.
  model.Select(0);
  EXPECT_FALSE(model.DirectoryVisible);
  for (int row : {0, 1, 3}) model.SetChecked(row, false);
  EXPECT_FALSE(model.ContinueEnabled);
  // The installed application: its directory cannot be changed; unticking it enables Continue.
  model.Select(2);
  EXPECT_TRUE(model.DirectoryVisible);
  EXPECT_EQ(model.DirectoryText, dir.win("old"));
  EXPECT_FALSE(model.DirectoryButtonEnabled);
  model.SetChecked(2, false);
  EXPECT_TRUE(model.ContinueEnabled);
  // An invalid directory reference fails the click and leaves the directory controls alone.
  EXPECT_THROW_MSG(model.Select(1), setup::ESetup, "Invalid directory reference '<Nowhere>\\x'");
  EXPECT_EQ(model.DirectoryText, dir.win("old"));

  // Browsing keeps the application's own folder name; a parent made for the browser goes again.
  model.Select(3);
  model.SetChecked(3, true);
  TSetupWindowModel::TBrowse browse = model.BeginBrowse();
  EXPECT_EQ(browse.Parent, dir.win("Programs") + "\\");
  EXPECT_EQ(browse.Name, "Omega");
  EXPECT_TRUE(browse.CreatedParent);
  EXPECT_TRUE(std::filesystem::is_directory(dir.host() / "Programs"));
  model.EndBrowse(browse, dir.win("Elsewhere"));
  EXPECT_FALSE(std::filesystem::exists(dir.host() / "Programs"));
  EXPECT_EQ(model.DirectoryText, dir.win("Elsewhere\\Omega"));

  // Continue: the ticks become the selection, the run installs Omega and removes the
  // installed application; the controls are enabled again afterwards.
  bool disabledDuringRun = false;
  model.Continue([&] {
    disabledDuringRun = model.Running && !model.ContinueEnabled && !model.CancelEnabled &&
                        !model.DirectoryButtonEnabled && model.DirectoryEditReadOnly;
    model.SetChecked(0, true);  // list input is ignored while the run goes
  });
  EXPECT_TRUE(disabledDuringRun);
  EXPECT_TRUE(setupData.Applications[0]->Selected == false);  // the record, unticked
  EXPECT_FALSE(
      platform::RegKey::Open(platform::RegRoot::CurrentUser, registry.Path() + "\\OLD_1_1"));
  EXPECT_TRUE(platform::RegKey::Open(platform::RegRoot::CurrentUser, registry.Path() + "\\OM_0_0"));
  EXPECT_FALSE(
      platform::RegKey::Open(platform::RegRoot::CurrentUser, registry.Path() + "\\AL_0_0"));
  EXPECT_EQ(ui.progressMax, 4);
  ASSERT_EQ(ui.boxes.size(), 1u);  // the completion message
  EXPECT_TRUE(model.ContinueEnabled);
  EXPECT_TRUE(model.CancelEnabled);
  EXPECT_TRUE(model.DirectoryButtonEnabled);
  EXPECT_FALSE(model.DirectoryEditReadOnly);

  EXPECT_EQ(FitListExtent({100, 345}, 358), 365);
  EXPECT_EQ(FitListExtent({100, 300}, 358), 0);
}

TEST(SetupWindowModel, AnotherTryAfterAFailedRunDoesWhatIsLeft) {
  TempDir dir;
  TestRegistry registry;
  dir.Write("a.txt", "a");
  dir.Write("b.txt", "b");
  dir.Write("SETUP.inf", "[Globals]\r\nRegBaseKey=" + registry.Rooted() +
                             "\r\n"
                             "[Application1]\r\nTitle=First\r\nProductCode=FI\r\n"
                             "[Application1.FileGroup1]\r\nDestDir=<SrcDir>\\one\r\n"
                             "FileSpec1=a.txt\r\n"
                             "[Application2]\r\nTitle=Second\r\nProductCode=SE\r\n"
                             "[Application2.FileGroup1]\r\nDestDir=<SrcDir>\\two\r\n"
                             "FileSpec1=b.txt\r\n");
  FakeUI ui;
  setup::TSetupDataModule setupData(ui, dir.win("SETUP.EXE"), {});
  setupData.Create();
  TSetupWindowModel model(setupData);
  model.SetUp();

  // The second application's source goes before Continue: the run fails there, after the
  // first was installed and recorded.
  std::filesystem::remove(dir.host() / "b.txt");
  EXPECT_THROW(model.Continue(), Error);
  EXPECT_TRUE(setupData.Applications[0]->Installed);
  EXPECT_EQ(setupData.Applications[0]->RecordKeyName, "FI_0_0");
  EXPECT_FALSE(setupData.Applications[1]->Installed);
  EXPECT_TRUE(model.ContinueEnabled);

  // The next try installs only the second: the first, installed now, is left as it is.
  std::filesystem::remove(dir.host() / "one/a.txt");
  dir.Write("b.txt", "b");
  model.Continue();
  EXPECT_FALSE(std::filesystem::exists(dir.host() / "one/a.txt"));
  EXPECT_EQ(valise::testing::ReadHostFile(dir.host() / "two/b.txt"), "b");
  EXPECT_TRUE(setupData.Applications[1]->Installed);

  // Unticking the first removes it, and it counts as not installed afterwards.
  for (std::size_t row = 0; row < model.Rows().size(); ++row) {
    if (model.Rows()[row].App == setupData.Applications[0].get()) {
      model.SetChecked(static_cast<int>(row), false);
    }
  }
  model.Continue();
  EXPECT_FALSE(setupData.Applications[0]->Installed);
  EXPECT_FALSE(
      platform::RegKey::Open(platform::RegRoot::CurrentUser, registry.Path() + "\\FI_0_0"));
}

// The uninstall entry's command: "/remove=KEY" without "/silent" opens the window with that
// application unticked and everything else as it shall stay, so that Continue removes it alone.
TEST(SetupWindowModel, RemoveWithoutSilentOpensWithTheNamedApplicationsUnticked) {
  TempDir dir;
  TestRegistry registry;
  dir.Write("k.txt", "k");
  dir.Write("g.txt", "g");
  const std::string installed =
      "[Globals]\r\nRegBaseKey=" + registry.Rooted() +
      "\r\n"
      "[Application1]\r\nTitle=Kept\r\nProductCode=KE\r\nVersion=1\r\nProductID=1\r\n"
      "[Application1.FileGroup1]\r\nDestDir=<SrcDir>\\kept\r\nFileSpec1=k.txt\r\n"
      "[Application2]\r\nTitle=Gone\r\nProductCode=GO\r\nVersion=2\r\nProductID=2\r\n"
      "[Application2.FileGroup1]\r\nDestDir=<SrcDir>\\gone\r\nFileSpec1=g.txt\r\n";
  dir.Write("SETUP.inf", installed);
  {
    FakeUI ui;
    setup::TSetupDataModule setupData(ui, dir.win("SETUP.EXE"), {"/silent"});
    setupData.Create();
    setupData.Execute();
    ASSERT_EQ(setupData.ExitCode, setup::kExitSuccess);
  }
  // The script offers one more application now; an uninstall does not install it.
  dir.Write("SETUP.inf", installed +
                             "[Application3]\r\nTitle=New\r\nProductCode=NE\r\n"
                             "[Application3.FileGroup1]\r\nDestDir=<SrcDir>\\new\r\n"
                             "FileSpec1=k.txt\r\n");

  FakeUI ui;
  setup::TSetupDataModule setupData(ui, dir.win("SETUP.EXE"),
                                    {"/remove=go_2_2", "/remove=NONE_1_1"});
  setupData.Create();
  TSetupWindowModel model(setupData);
  model.SetUp();
  ASSERT_EQ(model.Rows().size(), 3u);
  std::vector<std::string> rows;
  for (const TListRow& row : model.Rows()) {
    rows.push_back(row.App->Title + (row.Checked ? " ticked" : " unticked"));
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"Gone unticked", "Kept ticked", "New unticked"}));
  EXPECT_TRUE(model.ContinueEnabled);

  model.Continue();
  EXPECT_FALSE(std::filesystem::exists(dir.host() / "gone"));
  EXPECT_FALSE(
      platform::RegKey::Open(platform::RegRoot::CurrentUser, registry.Path() + "\\GO_2_2"));
  EXPECT_EQ(valise::testing::ReadHostFile(dir.host() / "kept/k.txt"), "k");
  EXPECT_TRUE(platform::RegKey::Open(platform::RegRoot::CurrentUser, registry.Path() + "\\KE_1_1"));
  EXPECT_FALSE(std::filesystem::exists(dir.host() / "new"));
  EXPECT_FALSE(
      platform::RegKey::Open(platform::RegRoot::CurrentUser, registry.Path() + "\\NE_0_0"));
  // The key that named nothing is still told apart: "not installed".
  EXPECT_EQ(setupData.ExitCode, setup::kExitNotInstalled);
}

}  // namespace
}  // namespace valise::ui
