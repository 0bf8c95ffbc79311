// Baggage attached to a real program (the test program itself when it is a Windows program),
// the external ".BAG" named by "/bag=", and media names opened through the I/O procedure.
#include <filesystem>

#include "bag_test_support.h"
#include "platform/files.h"
#include "platform/mmio.h"

namespace valise::testing {
namespace {

class ProgramTest : public BaggageTest {
 protected:
  // The program to attach to: the running test program where it is a Windows executable,
  // otherwise the fake one.
  std::string Executable() {
    const std::string self = platform::ProgramPath();
    const std::string bytes = platform::ReadWholeFile(self);
    return bytes.size() > 64 && bytes[0] == 'M' && bytes[1] == 'Z' ? self : Program();
  }

  BagWriter Sample() {
    BagWriter writer;
    writer.AddData("README.TXT", "read me");
    writer.AddData("SOUND.WAV", "RIFF....WAVEdata");
    writer.AddData("Z.TXT", "following bytes");
    return writer;
  }
};

TEST_F(ProgramTest, BaggageAttachedToACopyOfAProgram) {
  const std::string executable = Executable();
  Sample().WriteAttached(executable, dir.win("COPY.EXE"));
  InitWith(dir.win("COPY.EXE"));
  ASSERT_TRUE(BagHasContainer());
  EXPECT_FALSE(BagIsExternal());
  EXPECT_EQ(ReadEntry("readme.txt"), "read me");
  EXPECT_EQ(ReadEntry("Sound.wav"), "RIFF....WAVEdata");
  // The program's own bytes are untouched apart from the header pointer.
  const std::string original = platform::ReadWholeFile(executable);
  const std::string copy = platform::ReadWholeFile(dir.win("COPY.EXE"));
  EXPECT_EQ(copy.substr(0, 28), original.substr(0, 28));
  EXPECT_EQ(copy.substr(32, original.size() - 32), original.substr(32));

  // The program alone, as the setup keeps it for removal: the baggage cut off, no pointer left.
  // A read-only program (one on a CD) gives a copy that a later run can replace.
  ASSERT_TRUE(platform::SetFileAttributes(dir.win("COPY.EXE"), platform::kAttrReadOnly));
  CopyProgramWithoutBaggage(dir.win("COPY.EXE"), dir.win("KEPT.EXE"));
  EXPECT_EQ(platform::ReadWholeFile(dir.win("KEPT.EXE")), original);
  EXPECT_FALSE(BagIsContainerFile(dir.win("KEPT.EXE")));
  EXPECT_FALSE(*platform::GetFileAttributes(dir.win("KEPT.EXE")) & platform::kAttrReadOnly);
  CopyProgramWithoutBaggage(dir.win("COPY.EXE"), dir.win("KEPT.EXE"));
  EXPECT_EQ(platform::ReadWholeFile(dir.win("KEPT.EXE")), original);
  EXPECT_FALSE(std::filesystem::exists(dir.host() / "KEPT.EXE.~partial"));
  platform::SetFileAttributes(dir.win("COPY.EXE"), platform::kAttrNormal);
}

TEST_F(ProgramTest, ExternalTwinNamedDirectlyOrThroughTheProgram) {
  Sample().WriteExternal(Executable(), dir.win("APP.EXE"));
  Init({"/bag=" + dir.win("app.bag")});
  ASSERT_TRUE(BagHasContainer());
  EXPECT_FALSE(BagIsExternal());
  EXPECT_EQ(BagExeName(), Upper(dir.win("APP.BAG")));
  EXPECT_EQ(ReadEntry("Z.TXT"), "following bytes");

  Init({"/bag=" + dir.win("app.exe")});
  EXPECT_TRUE(BagIsExternal());
  EXPECT_EQ(BagExeName(), Upper(dir.win("APP.BAG")));
  EXPECT_EQ(ReadEntry("README.TXT"), "read me");
  EXPECT_TRUE(BagIsContainerFile(dir.win("APP.EXE")));

  // Kept without its baggage, the program no longer points to a twin; one without a baggage is
  // copied as it is.
  std::filesystem::create_directory(dir.host() / "KEPT");
  CopyProgramWithoutBaggage(dir.win("APP.EXE"), dir.win("KEPT\\SETUP.EXE"));
  EXPECT_EQ(platform::ReadWholeFile(dir.win("KEPT\\SETUP.EXE")),
            platform::ReadWholeFile(Executable()));
  CopyProgramWithoutBaggage(dir.win("KEPT\\SETUP.EXE"), dir.win("KEPT\\AGAIN.EXE"));
  EXPECT_EQ(platform::ReadWholeFile(dir.win("KEPT\\AGAIN.EXE")),
            platform::ReadWholeFile(Executable()));
  EXPECT_FALSE(std::filesystem::exists(dir.host() / "KEPT/SETUP.EXE.~partial"));
}

TEST_F(ProgramTest, MediaNamesOpenEntriesThroughTheIOProcedure) {
  if (!platform::MmioAvailable()) GTEST_SKIP() << "no multimedia file I/O on this system";
  Sample().WriteStandalone(dir.win("MEDIA.BAG"));
  Init({"/bag=" + dir.win("MEDIA.BAG")});
  // The element form starts at the entry's first byte and may read on past its end.
  EXPECT_EQ(platform::MmioReadFile("C:\\ANY\\WHERE.BAG+sound.wav", 16), "RIFF....WAVEdata");
  const auto longer = platform::MmioReadFile("X.BAG+README.TXT", 7 + 4);
  ASSERT_TRUE(longer.has_value());
  EXPECT_EQ(longer->substr(0, 7), "read me");
  EXPECT_EQ(longer->size(), 11u);
  EXPECT_FALSE(platform::MmioReadFile("X.BAG+MISSING.WAV", 4).has_value());
  // The loose form names an ordinary file.
  dir.Write("PLAIN.WAV", "plain file");
  EXPECT_EQ(platform::MmioReadFile("________.BAG+" + dir.win("PLAIN.WAV"), 64), "plain file");

  // A document baggage answers to its own code; a loose-file baggage to the loose form only.
  Sample().WriteStandalone(dir.win("LESSON.KQD"));
  Init({dir.win("LESSON.KQD")});
  EXPECT_EQ(platform::MmioReadFile("LESSON.KQD+readme.txt", 7), "read me");
  std::filesystem::create_directories(dir.host() / "BAG");
  Init({"/bag=" + dir.win("BAG")});
  EXPECT_FALSE(platform::MmioReadFile("X.BAG+README.TXT", 4).has_value());
  BagDone();
  EXPECT_FALSE(platform::MmioReadFile("X.BAG+README.TXT", 4).has_value());
}

}  // namespace
}  // namespace valise::testing
