// Small PE images made by the tests: headers, one resource section, and a resource tree that
// holds one version resource. The offsets of the parts are kept so that tests can damage them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace valise::testing {

struct PeImageOptions {
  bool pe32plus = true;
  std::uint32_t ms = 0x00010002;
  std::uint32_t ls = 0x00030004;
  bool withResources = true;        // the resource data directory is set
  std::uint32_t resourceType = 16;  // RT_VERSION
  bool withFixedInfo = true;        // the version block holds a VS_FIXEDFILEINFO
};

struct PeImage {
  std::string bytes;
  std::size_t peOffset = 0;        // "PE\0\0"
  std::size_t optionalOffset = 0;  // the optional header
  std::size_t sectionTable = 0;
  std::size_t resources = 0;     // file offset of the resource directory
  std::size_t typeEntry = 0;     // file offset of the root directory's entry
  std::size_t nameEntry = 0;     // file offset of the name directory's entry
  std::size_t dataEntry = 0;     // file offset of the data entry
  std::size_t versionBlock = 0;  // file offset of VS_VERSIONINFO
  std::size_t fixedInfo = 0;     // file offset of VS_FIXEDFILEINFO

  void Put16(std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>(value >> 8);
  }
  void Put32(std::size_t offset, std::uint32_t value) {
    Put16(offset, static_cast<std::uint16_t>(value));
    Put16(offset + 2, static_cast<std::uint16_t>(value >> 16));
  }
};

inline PeImage BuildPeImage(const PeImageOptions& options = {}) {
  constexpr std::uint32_t kFileAlignment = 0x200;
  constexpr std::uint32_t kSectionAlignment = 0x1000;
  constexpr std::uint32_t kResourceRva = 0x1000;
  PeImage image;
  image.bytes.assign(kFileAlignment * 2, '\0');
  image.bytes[0] = 'M';
  image.bytes[1] = 'Z';
  image.peOffset = 0x40;
  image.Put32(0x3C, static_cast<std::uint32_t>(image.peOffset));
  image.bytes.replace(image.peOffset, 4, std::string("PE\0\0", 4));

  const std::size_t coff = image.peOffset + 4;
  const std::uint16_t optionalSize = options.pe32plus ? 240 : 224;
  image.Put16(coff, options.pe32plus ? 0x8664 : 0x14C);
  image.Put16(coff + 2, 1);  // one section
  image.Put16(coff + 16, optionalSize);
  image.Put16(coff + 18, options.pe32plus ? 0x2022 : 0x2102);  // executable DLL

  const std::size_t opt = coff + 20;
  image.optionalOffset = opt;
  image.Put16(opt, options.pe32plus ? 0x20B : 0x10B);
  if (options.pe32plus) {
    image.Put32(opt + 24, 0x10000000);  // image base, low half
  } else {
    image.Put32(opt + 28, 0x10000000);
  }
  image.Put32(opt + 32, kSectionAlignment);
  image.Put32(opt + 36, kFileAlignment);
  image.Put16(opt + 40, 6);                                 // operating system version
  image.Put16(opt + 48, 6);                                 // subsystem version
  image.Put32(opt + 56, kResourceRva + kSectionAlignment);  // size of image
  image.Put32(opt + 60, kFileAlignment);                    // size of headers
  image.Put16(opt + 68, 2);                                 // GUI subsystem
  const std::size_t directories = opt + (options.pe32plus ? 112 : 96);
  image.Put32(directories - 4, 16);

  // The resource directory: type -> name 1 -> language 0x409 -> data entry -> version block.
  const std::size_t rsrc = kFileAlignment;
  image.resources = rsrc;
  image.Put16(rsrc + 14, 1);
  image.typeEntry = rsrc + 16;
  image.Put32(image.typeEntry, options.resourceType);
  image.Put32(image.typeEntry + 4, 0x80000000u | 24);
  image.Put16(rsrc + 24 + 14, 1);
  image.nameEntry = rsrc + 40;
  image.Put32(image.nameEntry, 1);
  image.Put32(image.nameEntry + 4, 0x80000000u | 48);
  image.Put16(rsrc + 48 + 14, 1);
  image.Put32(rsrc + 64, 0x409);
  image.Put32(rsrc + 68, 72);
  image.dataEntry = rsrc + 72;
  const std::uint32_t blockOffset = 88;
  image.versionBlock = rsrc + blockOffset;
  const std::u16string key = u"VS_VERSION_INFO";
  for (std::size_t i = 0; i < key.size(); ++i) {
    image.Put16(image.versionBlock + 6 + 2 * i, static_cast<std::uint16_t>(key[i]));
  }
  image.fixedInfo = image.versionBlock + 40;
  const std::uint16_t blockSize = options.withFixedInfo ? 92 : 40;
  image.Put16(image.versionBlock, blockSize);
  if (options.withFixedInfo) {
    image.Put16(image.versionBlock + 2, 52);
    image.Put32(image.fixedInfo, 0xFEEF04BD);
    image.Put32(image.fixedInfo + 4, 0x00010000);
    image.Put32(image.fixedInfo + 8, options.ms);
    image.Put32(image.fixedInfo + 12, options.ls);
    image.Put32(image.fixedInfo + 16, options.ms);
    image.Put32(image.fixedInfo + 20, options.ls);
    image.Put32(image.fixedInfo + 24, 0x3F);
    image.Put32(image.fixedInfo + 32, 0x40004);  // VOS_NT_WINDOWS32
    image.Put32(image.fixedInfo + 36, 2);        // VFT_DLL
  }
  image.Put32(image.dataEntry, kResourceRva + blockOffset);
  image.Put32(image.dataEntry + 4, blockSize);
  const std::uint32_t resourceSize = blockOffset + blockSize;

  if (options.withResources) {
    image.Put32(directories + 16, kResourceRva);
    image.Put32(directories + 20, resourceSize);
  }

  image.sectionTable = opt + optionalSize;
  const std::size_t section = image.sectionTable;
  image.bytes.replace(section, 5, ".rsrc");
  image.Put32(section + 8, resourceSize);
  image.Put32(section + 12, kResourceRva);
  image.Put32(section + 16, kFileAlignment);
  image.Put32(section + 20, static_cast<std::uint32_t>(rsrc));
  image.Put32(section + 36, 0x40000040);  // initialised data, readable
  return image;
}

}  // namespace valise::testing
