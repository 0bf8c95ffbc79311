// The container reader over bytes, and the writer's limits.
#include <filesystem>

#include "bag_test_support.h"
#include "baggage/bag_format.h"
#include "platform/files.h"

namespace valise::testing {
namespace {

using namespace bagformat;

std::string Prefix(const char* signature, std::uint32_t pointer, std::size_t size = 32) {
  std::string bytes(size, '\0');
  bytes[0] = signature[0];
  bytes[1] = signature[1];
  PutU32At(bytes, 28, pointer);
  return bytes;
}

std::string Header(std::uint32_t count, std::uint16_t version = 0x0200) {
  std::string bytes = "KQKL";
  bytes += static_cast<char>(version & 0xFF);
  bytes += static_cast<char>(version >> 8);
  bytes += std::string(4, '\x55');  // not read
  bytes += std::string(4, '\0');
  PutU32At(bytes, 10, count);
  return bytes;
}

std::string Entry(std::uint8_t length, std::string_view name, std::uint32_t size,
                  std::uint32_t offset) {
  std::string bytes(21, '\0');
  bytes[0] = static_cast<char>(length);
  for (std::size_t i = 0; i < name.size() && i < 12; ++i) bytes[1 + i] = name[i];
  PutU32At(bytes, 13, size);
  PutU32At(bytes, 17, offset);
  return bytes;
}

TEST(BagFormat, PrefixProbe) {
  auto probe = [](const std::string& bytes) {
    SpanSource source(bytes);
    return ProbePrefix(source);
  };
  EXPECT_FALSE(probe("").ok);
  EXPECT_FALSE(probe(Prefix("MZ", 32, 31)).ok);  // shorter than the prefix
  EXPECT_FALSE(probe(Prefix("MZ", 0, 100)).ok);
  EXPECT_FALSE(probe(Prefix("PE", 32, 100)).ok);
  EXPECT_FALSE(probe(Prefix("mz", 32, 100)).ok);
  EXPECT_FALSE(probe(Prefix("KQ", 32, 46)).ok);  // pointer + 14 == size
  EXPECT_TRUE(probe(Prefix("KQ", 32, 47)).ok);
  EXPECT_FALSE(probe(Prefix("KQ", 0x7FFFFFF0u, 64)).ok);
  const Probe external = probe(Prefix("MZ", 0xFFFFFF80u));
  EXPECT_TRUE(external.ok);
  EXPECT_TRUE(external.External());
  EXPECT_FALSE(external.HeaderValid());

  const Probe valid = probe(Prefix("KQ", 32) + Header(3) + "x");
  EXPECT_TRUE(valid.HeaderValid());
  EXPECT_EQ(valid.Count(), 3u);
  EXPECT_FALSE(probe(Prefix("KQ", 32) + Header(3, 0x0100) + "x").HeaderValid());
  EXPECT_FALSE(probe(Prefix("KQ", 32) + Header(3, 0x0002) + "x").HeaderValid());
}

TEST(BagFormat, DirectoryEntriesAsStored) {
  std::string bytes = Prefix("KQ", 32) + Header(3);
  bytes += Entry(5, "HELLOWORLD..", 7, 100);  // only five characters count
  bytes += Entry(200, "TWELVE_CHARS", 1, 2);  // an impossible length: the whole field
  bytes += Entry(3, "\xC4\xD6\xDC", 0xFFFFFFFFu, 0xFFFFFF00u);  // ANSI "ÄÖÜ"
  SpanSource source(bytes);
  const Probe probe = ProbePrefix(source);
  const auto entries = ReadDirectory(source, probe);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].Name, "HELLO");
  EXPECT_EQ(entries[0].Size, 7u);
  EXPECT_EQ(entries[0].Offset, 100u);
  EXPECT_EQ(entries[1].Name, "TWELVE_CHARS");
  EXPECT_EQ(entries[2].Name, "\xC3\x84\xC3\x96\xC3\x9C");
  EXPECT_EQ(entries[2].Size, 0xFFFFFFFFu);

  std::string cut = bytes.substr(0, bytes.size() - 1);
  SpanSource shortSource(cut);
  EXPECT_THROW_MSG(ReadDirectory(shortSource, ProbePrefix(shortSource)), Error, "Unexpected EOF!");
}

TEST_F(BaggageTest, WriterRefusesWhatTheFormatCannotHold) {
  BagWriter writer;
  EXPECT_THROW_MSG(writer.AddData("THIRTEENCHARS", "x"), Error,
                   "The entry name \"THIRTEENCHARS\" is longer than 12 characters");
  // Twelve characters of the ANSI code page, even when UTF-8 needs more bytes for them.
  writer.AddData("\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84.TXT", "x");
  EXPECT_THROW_MSG(writer.AddData("", "x"), Error, "An entry name must not be empty");
  writer.AddData("ONE.TXT", "1");
  EXPECT_THROW_MSG(writer.AddData("one.txt", "2"), Error,
                   "The entry name \"one.txt\" is given twice");
  EXPECT_THROW(writer.AddData("\xE4\xB8\xAD.TXT", "x"), Error);  // no ANSI byte for it

  // Entries that would pass 4 GiB are refused before the file is created.
  dir.Write("small.bin", "0123456789");
  BagWriter huge;
  huge.AddRange("A.BIN", dir.win("small.bin"), 0, 0xFFFFFF00u);
  huge.AddRange("B.BIN", dir.win("small.bin"), 0, 0x00001000u);
  EXPECT_THROW(huge.WriteStandalone(dir.win("HUGE.BAG")), Error);
  EXPECT_FALSE(std::filesystem::exists(dir.host() / "HUGE.BAG"));
  try {
    huge.WriteStandalone(dir.win("HUGE.BAG"));
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find("4 GiB"), std::string::npos) << error.what();
  }
  EXPECT_THROW(huge.WriteAttached(Program(), dir.win("HUGE.EXE")), Error);
  EXPECT_FALSE(std::filesystem::exists(dir.host() / "HUGE.EXE"));
}

TEST_F(BaggageTest, WriterAttachesOnlyToExecutablesWithoutBaggage) {
  BagWriter writer;
  writer.AddData("A.TXT", "a");
  dir.Write("NOTEXE.EXE", std::string(64, 'x'));
  EXPECT_THROW(writer.WriteAttached(dir.win("NOTEXE.EXE"), dir.win("OUT.EXE")), Error);
  writer.WriteAttached(Program(), dir.win("ONCE.EXE"));
  EXPECT_THROW(writer.WriteAttached(dir.win("ONCE.EXE"), dir.win("TWICE.EXE")), Error);
  // The program's own bytes are kept, and its header points past them.
  const std::string once = ReadHostFile(dir.host() / "ONCE.EXE");
  const std::string original = FakeProgram();
  EXPECT_EQ(once.substr(32, original.size() - 32), original.substr(32));
  const BagContainerInfo info = ReadBagContainer(dir.win("ONCE.EXE"));
  EXPECT_EQ(info.headerPointer, original.size());
  ASSERT_EQ(info.entries.size(), 1u);
  EXPECT_EQ(info.entries[0].Name, "A.TXT");
}

}  // namespace
}  // namespace valise::testing
