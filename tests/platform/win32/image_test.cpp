// Image decoding through the system's imaging component: PNG of every filter and block type,
// BMP of both depths and row orders, straight (not premultiplied) alpha, and files that must not
// decode.
#include "platform/image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/bytes.h"

namespace valise::platform {
namespace {

// Written by an independent encoder (zlib at level 9): a 40 x 30 RGBA gradient whose rows use
// the filters None, Sub, Up, Average and Paeth in turn (dynamic Huffman codes), and a 3 x 2 RGB
// image (fixed Huffman codes).
const char kGradientPng[] =
    "89504e470d0a1a0a0000000d49484452000000280000001e08060000005edd5cdd000003f84944415478daedd3db"
    "6bda671cc7f1af4b910d641d4240281302421e640121200b088210101c3f1e417008c20f0441106452c77708b280"
    "101002424096e19667ae696d93da1cccc99cccc93c49cca1e6644ee66492c6b44dbbb6dbbab17561ff8237b9f0e2"
    "0d9fcbcfcd0b00e08314aafe9181f46f397cf25e01b23f9470fb9d0ae46fd450fd5a038a2b2ddc79a103e5a5016a"
    "2e8ca03a17a0f6d402ea131bd41d89a0397042fdbe1bb4bb5e68d846d06d0540bf1104c35a081a9f86c1b81201d3"
    "521484c51898e7e360994b80753609b6e914d827d3204e64c0319605e7480e5cc379700f16c0d35f046f5f097c3d"
    "12f8b8eadfeb8337b68fae0f7eb8c955c167d240d5adeb7143bbf5ff53b8c991db7f4989fc4f19a9fe5d4e146f15"
    "e4ce6f4aa27ca522352fd544f55c436a4b5aa27ea623756706a2291a49fdb140b48716d250b011dd9e48f43b4e62"
    "c8bb49e3a69718d79198720122ac06897939442cd930b12e44888d47893d1323e24c9c38a612c4994e12d7788ab8"
    "47d3c493ca10ef5096f80672049379e2ef2d9040779134254a24d825018dfc7d05495948549ffa2b48ca8a2adf49"
    "69cd1b1955bd96d3da2b0555bf50d2ba4b15d55ca869fdb9866a4fb5b4e14447754706aa3f3052c3be401b772dd4"
    "b86da3a62d910a1b4e6a5e7353cb532fb5ae20b52d05a87d3148c5f91075cc85a97336425dd351ea9e8c51cf449c"
    "7ac712d43792a4389ca2fec1340df46768535f96067b72b4f9499e861e17684b6791861f9668eb03097c5df3b682"
    "a42c245f567f5741525658f74a8a9a9732ac7f2e476d49810dcf94a83b53a1bea846c3b1061b0fb5682ce8d0b467"
    "4061c788e6bc80964d0b5ad76d68cb89685f75a2b8ec4647d68bce0544170fa03b1344cf4c08bd5361f4a52388e3"
    "51f48fc630908a63d350028303496c4ea630d49bc696ee0c8613596cedca61e4511edbe2058cde2f62fbbd12c662"
    "12f85e735541521692af3effb682a4ac98ee52caf41732663897b3c65305339e2899e948c584033533ef6b986557"
    "cbacdb3a66db3230fb8691896b02733cb530e78a8db99644e65e7432cfbc9b79e7bccc378b0ca703cc3f19648189"
    "106b1a0bb3e04884350f47596830c65afae32cdc9760ad3d49167992626d8fd32cda9961ed0fb32cf620c73a3af2"
    "2cfe6b8175fe526489f612ebf94902717da982a42c24a2ea6e05495971d399940b4519371fcbb9e550c1ad0525b7"
    "eda9b87d47cdc5bc863b36b5dcb9aee3ae9c81bb578ddcb32c706fd6c27d0b368e5ce4fe8c930766dcbc69cacb83"
    "69e4cde3011e1a0df29654888787c2bc7520c223c9286feb8df168779cb727123cd695e41d8f523c1e4ff3cefb19"
    "9eb897e53db11c4fb23c1ffcb9c053d1221ffbb1c4d33f48605538ad20290bc9dd2fbea92029a3ff00ec55c0e3a6"
    "815e140000000049454e44ae426082";
const char kTinyPng[] =
    "89504e470d0a1a0a0000000d49484452000000030000000208020000001216f14d000000194944415478da636060"
    "604f61603fc1c0cec87002c8320222001c9b033eea57b6130000000049454e44ae426082";

std::vector<std::uint8_t> Hex(const char* hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
  }
  return bytes;
}

std::uint32_t Argb(unsigned a, unsigned r, unsigned g, unsigned b) {
  return (a & 0xFF) << 24 | (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
}

// A BMP file with a plain info header, rows as stored.
std::vector<std::uint8_t> Bmp(int width, int height, int bits, std::uint32_t compression,
                              const std::vector<std::uint8_t>& rows) {
  const std::size_t offset = 54;
  std::vector<std::uint8_t> bmp(offset + rows.size());
  bmp[0] = 'B';
  bmp[1] = 'M';
  StoreU32(bmp.data() + 2, static_cast<std::uint32_t>(offset + rows.size()));
  StoreU32(bmp.data() + 10, static_cast<std::uint32_t>(offset));
  StoreU32(bmp.data() + 14, 40);
  StoreU32(bmp.data() + 18, static_cast<std::uint32_t>(width));
  StoreU32(bmp.data() + 22, static_cast<std::uint32_t>(height));
  bmp[26] = 1;
  bmp[28] = static_cast<std::uint8_t>(bits);
  StoreU32(bmp.data() + 30, compression);
  std::copy(rows.begin(), rows.end(), bmp.begin() + offset);
  return bmp;
}

TEST(ImageDecoding, PngOfEveryFilterAndBlockType) {
  const auto gradient = DecodeImage(Hex(kGradientPng));
  ASSERT_TRUE(gradient);
  ASSERT_EQ(gradient->width, 40);
  ASSERT_EQ(gradient->height, 30);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      ASSERT_EQ(gradient->Pixel(x, y), Argb(255 - x * 2 - y, x * 6, y * 8, (x + y) * 3))
          << x << "," << y;
    }
  }
  const auto tiny = DecodeImage(Hex(kTinyPng));
  ASSERT_TRUE(tiny);
  ASSERT_EQ(tiny->width, 3);
  ASSERT_EQ(tiny->height, 2);
  EXPECT_EQ(tiny->Pixel(0, 0), Argb(255, 0, 0, 7));
  EXPECT_EQ(tiny->Pixel(2, 1), Argb(255, 200, 200, 107));
}

TEST(ImageDecoding, BmpOfBothDepthsAndRowOrders) {
  // 24 bits, bottom-up, 3 pixels of 3 bytes padded to 12 per row.
  const std::vector<std::uint8_t> rows24 = {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,
                                            10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
  const auto bottomUp = DecodeImage(Bmp(3, 2, 24, 0, rows24));
  ASSERT_TRUE(bottomUp);
  EXPECT_EQ(bottomUp->Pixel(0, 0), Argb(255, 12, 11, 10));
  EXPECT_EQ(bottomUp->Pixel(2, 1), Argb(255, 9, 8, 7));
  // 32 bits, top-down: the fourth byte is no alpha, so the pixels are opaque.
  const std::vector<std::uint8_t> rows32 = {1, 2, 3, 0, 4, 5, 6, 9, 7, 8, 9, 0, 10, 11, 12, 77};
  const auto topDown = DecodeImage(Bmp(2, -2, 32, 0, rows32));
  ASSERT_TRUE(topDown);
  EXPECT_EQ(topDown->Pixel(1, 0), Argb(255, 6, 5, 4));
  EXPECT_EQ(topDown->Pixel(0, 1), Argb(255, 9, 8, 7));
}

TEST(ImageDecoding, FilesThatDoNotDecodeGiveNothing) {
  const std::vector<std::uint8_t> png = Hex(kGradientPng);
  const std::vector<std::uint8_t> rows24(24, 0x40);
  const std::vector<std::vector<std::uint8_t>> bad = {
      {},
      {'B', 'M'},
      std::vector<std::uint8_t>(100, 0xAB),
      std::vector<std::uint8_t>(png.begin(), png.begin() + 8),
      std::vector<std::uint8_t>(png.begin(), png.begin() + static_cast<long>(png.size() / 2)),
      Bmp(3, 2, 24, 0, std::vector<std::uint8_t>(rows24.begin(), rows24.end() - 1)),
      Bmp(3, 2, 24, 1, rows24),  // run-length compression
      Bmp(0, 2, 24, 0, rows24),
      Bmp(3, 0, 24, 0, rows24),
      Bmp(0x7FFFFFFF, 0x7FFFFFFF, 24, 0, rows24),
  };
  for (std::size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(DecodeImage(bad[i]));
  }
}

}  // namespace
}  // namespace valise::platform
