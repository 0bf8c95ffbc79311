#include <gtest/gtest.h>

#include "pe_image.h"
#include "platform/errors.h"
#include "platform/pe_version.h"
#include "platform/version.h"
#include "test_support.h"

namespace valise::platform {
namespace {

using valise::testing::BuildPeImage;
using valise::testing::PeImage;
using valise::testing::PeImageOptions;
using valise::testing::TempDir;

TEST(PeVersion, ReadsTheFixedFileVersion) {
  for (const bool pe32plus : {true, false}) {
    SCOPED_TRACE(pe32plus);
    PeImageOptions options;
    options.pe32plus = pe32plus;
    options.ms = 0xFFFF0001;  // every bit counts, unsigned
    options.ls = 0x80000002;
    const auto version = ReadPeFileVersion(BuildPeImage(options).bytes);
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->ms, 0xFFFF0001u);
    EXPECT_EQ(version->ls, 0x80000002u);
    EXPECT_EQ(version->value(), 0xFFFF000180000002u);
  }
}

TEST(PeVersion, NothingWithoutAPeFileOrAVersionResource) {
  EXPECT_FALSE(ReadPeFileVersion(""));
  EXPECT_FALSE(ReadPeFileVersion("MZ"));
  EXPECT_FALSE(ReadPeFileVersion(std::string(4096, 'x')));
  PeImage dos = BuildPeImage();
  dos.Put32(0x3C, 0x7FFFFFF0);  // the PE header lies beyond the end
  EXPECT_FALSE(ReadPeFileVersion(dos.bytes));
  PeImage ne = BuildPeImage();
  ne.bytes[ne.peOffset] = 'N';  // "NE", a 16-bit program
  EXPECT_FALSE(ReadPeFileVersion(ne.bytes));

  PeImageOptions options;
  options.withResources = false;
  EXPECT_FALSE(ReadPeFileVersion(BuildPeImage(options).bytes));
  options = {};
  options.resourceType = 3;  // icons only
  EXPECT_FALSE(ReadPeFileVersion(BuildPeImage(options).bytes));
  options = {};
  options.withFixedInfo = false;
  EXPECT_FALSE(ReadPeFileVersion(BuildPeImage(options).bytes));
}

TEST(PeVersion, CorruptHeadersAreReported) {
  const PeImage image = BuildPeImage();
  EXPECT_THROW_MSG(ReadPeFileVersion(image.bytes.substr(0, image.peOffset + 10)), Error,
                   "Invalid PE file: truncated headers");
  PeImage magic = image;
  magic.Put16(magic.optionalOffset, 0x107);
  EXPECT_THROW_MSG(ReadPeFileVersion(magic.bytes), Error,
                   "Invalid PE file: unknown optional header");
  PeImage sections = image;
  sections.Put16(sections.peOffset + 6, 200);
  EXPECT_THROW_MSG(ReadPeFileVersion(sections.bytes), Error,
                   "Invalid PE file: truncated section table");
  PeImage rva = image;
  rva.Put32(rva.optionalOffset + 112 + 16, 0x9000);
  EXPECT_THROW_MSG(ReadPeFileVersion(rva.bytes), Error,
                   "Invalid PE file: resource directory out of range");
  PeImage raw = image;
  raw.Put32(raw.sectionTable + 20, 0x10000);  // the section's data lies beyond the end
  EXPECT_THROW_MSG(ReadPeFileVersion(raw.bytes), Error,
                   "Invalid PE file: resource directory out of range");
}

TEST(PeVersion, CorruptResourcesAreReported) {
  const PeImage image = BuildPeImage();
  PeImage loop = image;
  loop.Put32(loop.nameEntry + 4, 0x80000000);  // the name directory points back at the root
  EXPECT_THROW_MSG(ReadPeFileVersion(loop.bytes), Error,
                   "Invalid PE file: loop in the resource directory");
  PeImage leaf = image;
  leaf.Put32(leaf.typeEntry + 4, 24);  // a data entry where a directory belongs
  EXPECT_THROW_MSG(ReadPeFileVersion(leaf.bytes), Error,
                   "Invalid PE file: corrupt resource directory");
  PeImage count = image;
  count.Put16(count.resources + 14, 0x7FFF);
  EXPECT_THROW_MSG(ReadPeFileVersion(count.bytes), Error,
                   "Invalid PE file: resource directory out of range");
  PeImage data = image;
  data.Put32(data.dataEntry, 0x1FFF0);
  EXPECT_THROW_MSG(ReadPeFileVersion(data.bytes), Error,
                   "Invalid PE file: version resource out of range");
  PeImage length = image;
  length.Put16(length.versionBlock, 400);
  EXPECT_THROW_MSG(ReadPeFileVersion(length.bytes), Error, "Invalid version resource: truncated");
  PeImage key = image;
  key.bytes[key.versionBlock + 6] = 'X';
  EXPECT_THROW_MSG(ReadPeFileVersion(key.bytes), Error,
                   "Invalid version resource: no VS_VERSION_INFO key");
  PeImage value = image;
  value.Put16(value.versionBlock + 2, 20);
  EXPECT_THROW_MSG(ReadPeFileVersion(value.bytes), Error,
                   "Invalid version resource: truncated fixed file info");
  PeImage signature = image;
  signature.Put32(signature.fixedInfo, 0xFEEF04BE);
  EXPECT_THROW_MSG(ReadPeFileVersion(signature.bytes), Error,
                   "Invalid version resource: bad fixed file info signature");
}

TEST(PeVersion, DamagedImagesGiveAResultOrAnError) {
  const std::string full = BuildPeImage().bytes;
  const std::optional<FileVersion> whole = ReadPeFileVersion(full);
  ASSERT_TRUE(whole);
  // Every failure is one of the reader's own, named for the part that is damaged.
  const auto expectReadersError = [](const Error& error) {
    const std::string message = error.what();
    EXPECT_TRUE(message.starts_with("Invalid PE file: ") ||
                message.starts_with("Invalid version resource: "))
        << message;
  };
  // A cut image never gives a version other than the whole one's.
  for (std::size_t size = 0; size < full.size(); ++size) {
    try {
      const std::optional<FileVersion> version = ReadPeFileVersion(full.substr(0, size));
      if (version) {
        EXPECT_EQ(*version, *whole) << size;
      }
    } catch (const Error& error) {
      expectReadersError(error);
    }
  }
  std::uint32_t seed = 99;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = full;
    for (int flips = 0; flips < 2; ++flips) {
      seed = seed * 1103515245 + 12345;
      bytes[(seed >> 8) % 0x2A0] = static_cast<char>(seed >> 24);  // headers and resources
    }
    try {
      ReadPeFileVersion(bytes);
    } catch (const Error& error) {
      expectReadersError(error);
    }
  }
}

// The version call of each backend.

TEST(FileVersion, ReadsTheVersionOfAFile) {
  TempDir dir;
  PeImageOptions options;
  options.ms = 0x00050006;
  options.ls = 0x00070008;
  dir.Write("lib.dll", BuildPeImage(options).bytes);
  EXPECT_EQ(GetFileVersion(dir.win("lib.dll")), (FileVersion{0x00050006, 0x00070008}));
}

TEST(FileVersion, NothingForMissingPlainOrUnversionedFiles) {
  TempDir dir;
  EXPECT_FALSE(GetFileVersion(dir.win("missing.dll")));
  dir.Write("plain.txt", "Just text, no program.");
  EXPECT_FALSE(GetFileVersion(dir.win("plain.txt")));
  PeImageOptions options;
  options.resourceType = 3;
  dir.Write("icons.dll", BuildPeImage(options).bytes);
  EXPECT_FALSE(GetFileVersion(dir.win("icons.dll")));
}

}  // namespace
}  // namespace valise::platform
