#include "platform/image_format.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace valise::platform {
namespace {

// --- Inflate ----------------------------------------------------------------------------------

// Reads the bits of a deflate stream, lowest bit of each byte first, one byte at a time as
// needed: after a byte-aligned skip the position is that of the next unread byte.
class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t> data) : data_(data) {}

  bool Bits(int count, std::uint32_t& value) {
    while (held_ < count) {
      if (position_ >= data_.size()) return false;
      buffer_ |= static_cast<std::uint32_t>(data_[position_++]) << held_;
      held_ += 8;
    }
    value = buffer_ & ((std::uint32_t{1} << count) - 1);
    buffer_ >>= count;
    held_ -= count;
    return true;
  }
  void SkipToByte() {
    buffer_ = 0;
    held_ = 0;
  }
  std::size_t Position() const { return position_; }
  std::span<const std::uint8_t> Rest() const { return data_.subspan(position_); }
  void Skip(std::size_t count) { position_ += count; }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t position_ = 0;
  std::uint32_t buffer_ = 0;
  int held_ = 0;
};

constexpr int kMaxCodeBits = 15;

// A canonical Huffman code: how many codes each length has, and the symbols ordered by code.
struct Huffman {
  std::array<std::uint16_t, kMaxCodeBits + 1> count{};
  std::array<std::uint16_t, 288> symbol{};
};

// Builds a code from its symbols' lengths. An over-subscribed set of lengths is refused; an
// incomplete one is taken, and a code it lacks fails when it is read.
bool BuildHuffman(Huffman& code, const std::uint8_t* lengths, int symbols) {
  code.count.fill(0);
  for (int s = 0; s < symbols; ++s) ++code.count[lengths[s]];
  int left = 1;
  for (int length = 1; length <= kMaxCodeBits; ++length) {
    left = left * 2 - code.count[length];
    if (left < 0) return false;
  }
  std::array<std::uint16_t, kMaxCodeBits + 2> offsets{};
  for (int length = 1; length <= kMaxCodeBits; ++length) {
    offsets[length + 1] = static_cast<std::uint16_t>(offsets[length] + code.count[length]);
  }
  for (int s = 0; s < symbols; ++s) {
    if (lengths[s] != 0) code.symbol[offsets[lengths[s]]++] = static_cast<std::uint16_t>(s);
  }
  return true;
}

// The next symbol, or -1 when the bits run out or name no code.
int Decode(BitReader& in, const Huffman& code) {
  int value = 0, first = 0, index = 0;
  for (int length = 1; length <= kMaxCodeBits; ++length) {
    std::uint32_t bit = 0;
    if (!in.Bits(1, bit)) return -1;
    value |= static_cast<int>(bit);
    const int count = code.count[length];
    if (value - count < first) return code.symbol[static_cast<std::size_t>(index + value - first)];
    index += count;
    first = (first + count) << 1;
    value <<= 1;
  }
  return -1;
}

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                         4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                         9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

bool InflateCodes(BitReader& in, const Huffman& lengths, const Huffman& distances,
                  std::vector<std::uint8_t>& out, std::size_t limit) {
  for (;;) {
    const int symbol = Decode(in, lengths);
    if (symbol < 0) return false;
    if (symbol < 256) {
      if (out.size() >= limit) return false;
      out.push_back(static_cast<std::uint8_t>(symbol));
      continue;
    }
    if (symbol == 256) return true;
    const int lengthCode = symbol - 257;
    if (lengthCode >= static_cast<int>(kLengthBase.size())) return false;
    std::uint32_t extra = 0;
    if (!in.Bits(kLengthExtra[lengthCode], extra)) return false;
    const std::size_t length = kLengthBase[lengthCode] + extra;
    const int distanceCode = Decode(in, distances);
    if (distanceCode < 0 || distanceCode >= static_cast<int>(kDistanceBase.size())) return false;
    if (!in.Bits(kDistanceExtra[distanceCode], extra)) return false;
    const std::size_t distance = kDistanceBase[distanceCode] + extra;
    if (distance > out.size() || length > limit - out.size()) return false;
    // The copy may overlap what it writes, so it goes byte by byte.
    const std::size_t from = out.size() - distance;
    for (std::size_t i = 0; i < length; ++i) out.push_back(out[from + i]);
  }
}

bool InflateDynamic(BitReader& in, std::vector<std::uint8_t>& out, std::size_t limit) {
  static constexpr std::array<std::uint8_t, 19> kOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                          11, 4,  12, 3, 13, 2, 14, 1, 15};
  std::uint32_t literals = 0, distances = 0, codeLengths = 0;
  if (!in.Bits(5, literals) || !in.Bits(5, distances) || !in.Bits(4, codeLengths)) return false;
  literals += 257;
  distances += 1;
  codeLengths += 4;
  if (literals > 286 || distances > 30) return false;
  std::array<std::uint8_t, 320> lengths{};
  for (std::uint32_t i = 0; i < codeLengths; ++i) {
    std::uint32_t length = 0;
    if (!in.Bits(3, length)) return false;
    lengths[kOrder[i]] = static_cast<std::uint8_t>(length);
  }
  Huffman lengthCode;
  if (!BuildHuffman(lengthCode, lengths.data(), 19)) return false;
  lengths.fill(0);
  std::uint32_t at = 0;
  while (at < literals + distances) {
    const int symbol = Decode(in, lengthCode);
    if (symbol < 0) return false;
    if (symbol < 16) {
      lengths[at++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    std::uint8_t repeated = 0;
    std::uint32_t times = 0;
    if (symbol == 16) {
      if (at == 0 || !in.Bits(2, times)) return false;
      repeated = lengths[at - 1];
      times += 3;
    } else if (symbol == 17) {
      if (!in.Bits(3, times)) return false;
      times += 3;
    } else {
      if (!in.Bits(7, times)) return false;
      times += 11;
    }
    if (at + times > literals + distances) return false;
    while (times-- > 0) lengths[at++] = repeated;
  }
  if (lengths[256] == 0) return false;  // no end-of-block code
  Huffman literalCode, distanceCode;
  if (!BuildHuffman(literalCode, lengths.data(), static_cast<int>(literals)) ||
      !BuildHuffman(distanceCode, lengths.data() + literals, static_cast<int>(distances))) {
    return false;
  }
  return InflateCodes(in, literalCode, distanceCode, out, limit);
}

bool InflateFixed(BitReader& in, std::vector<std::uint8_t>& out, std::size_t limit) {
  static const auto codes = [] {
    std::array<std::uint8_t, 288> lengths{};
    std::fill(lengths.begin(), lengths.begin() + 144, 8);
    std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
    std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
    std::fill(lengths.begin() + 280, lengths.end(), 8);
    std::array<std::uint8_t, 30> distances{};
    distances.fill(5);
    std::pair<Huffman, Huffman> built;
    BuildHuffman(built.first, lengths.data(), 288);
    BuildHuffman(built.second, distances.data(), 30);
    return built;
  }();
  return InflateCodes(in, codes.first, codes.second, out, limit);
}

bool Inflate(BitReader& in, std::vector<std::uint8_t>& out, std::size_t limit) {
  for (;;) {
    std::uint32_t last = 0, type = 0;
    if (!in.Bits(1, last) || !in.Bits(2, type)) return false;
    if (type == 0) {
      in.SkipToByte();
      const auto rest = in.Rest();
      if (rest.size() < 4) return false;
      const std::size_t length = rest[0] | rest[1] << 8;
      if (static_cast<std::size_t>(rest[2] | rest[3] << 8) != (~length & 0xFFFF)) return false;
      if (rest.size() - 4 < length || length > limit - out.size()) return false;
      out.insert(out.end(), rest.begin() + 4,
                 rest.begin() + 4 + static_cast<std::ptrdiff_t>(length));
      in.Skip(4 + length);
    } else if (type == 1) {
      if (!InflateFixed(in, out, limit)) return false;
    } else if (type == 2) {
      if (!InflateDynamic(in, out, limit)) return false;
    } else {
      return false;
    }
    if (last != 0) return true;
  }
}

std::uint32_t Adler32(std::span<const std::uint8_t> data) {
  std::uint32_t a = 1, b = 0;
  for (std::size_t at = 0; at < data.size();) {
    // 5552 bytes are the most that cannot overflow the sums before they are reduced.
    const std::size_t end = std::min(data.size(), at + 5552);
    for (; at < end; ++at) {
      a += data[at];
      b += a;
    }
    a %= 65521;
    b %= 65521;
  }
  return b << 16 | a;
}

std::uint32_t Crc32(std::span<const std::uint8_t> data) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t U32BE(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
         static_cast<std::uint32_t>(b[at + 2]) << 8 | b[at + 3];
}
std::uint32_t U32LE(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at + 3]) << 24 | static_cast<std::uint32_t>(b[at + 2]) << 16 |
         static_cast<std::uint32_t>(b[at + 1]) << 8 | b[at];
}
std::uint16_t U16LE(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::optional<Bitmap32> NewBitmap(std::uint64_t width, std::uint64_t height) {
  if (width == 0 || height == 0 || width > kMaxImagePixels || height > kMaxImagePixels ||
      width * height > kMaxImagePixels) {
    return std::nullopt;
  }
  Bitmap32 bitmap;
  bitmap.width = static_cast<int>(width);
  bitmap.height = static_cast<int>(height);
  bitmap.pixels.resize(static_cast<std::size_t>(width * height * 4));
  return bitmap;
}

// --- PNG --------------------------------------------------------------------------------------

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

int PaethPredictor(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Undoes the filters of the scanlines in place; `raw` holds each row's filter byte and samples.
bool Unfilter(std::vector<std::uint8_t>& raw, std::size_t rows, std::size_t stride,
              std::size_t pixelBytes) {
  const std::uint8_t* previous = nullptr;
  for (std::size_t y = 0; y < rows; ++y) {
    std::uint8_t* row = raw.data() + y * (stride + 1);
    const std::uint8_t filter = row[0];
    std::uint8_t* line = row + 1;
    for (std::size_t x = 0; x < stride; ++x) {
      const int a = x >= pixelBytes ? line[x - pixelBytes] : 0;
      const int b = previous ? previous[x] : 0;
      const int c = previous && x >= pixelBytes ? previous[x - pixelBytes] : 0;
      int predicted = 0;
      switch (filter) {
        case 0:
          break;
        case 1:
          predicted = a;
          break;
        case 2:
          predicted = b;
          break;
        case 3:
          predicted = (a + b) / 2;
          break;
        case 4:
          predicted = PaethPredictor(a, b, c);
          break;
        default:
          return false;
      }
      line[x] = static_cast<std::uint8_t>(line[x] + predicted);
    }
    previous = line;
  }
  return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ZlibDecompress(std::span<const std::uint8_t> data,
                                                        std::size_t size) {
  if (data.size() < 6) return std::nullopt;
  const unsigned method = data[0], flags = data[1];
  if ((method & 0x0F) != 8 || (method >> 4) > 7 || (method * 256 + flags) % 31 != 0 ||
      (flags & 0x20) != 0) {
    return std::nullopt;
  }
  BitReader in(data.subspan(2));
  std::vector<std::uint8_t> out;
  out.reserve(size);
  if (!Inflate(in, out, size) || out.size() != size) return std::nullopt;
  in.SkipToByte();
  const auto rest = in.Rest();
  if (rest.size() < 4 || U32BE(rest, 0) != Adler32(out)) return std::nullopt;
  return out;
}

std::optional<Bitmap32> DecodePng(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 8 || !std::equal(kPngSignature.begin(), kPngSignature.end(), bytes.begin())) {
    return std::nullopt;
  }
  std::uint32_t width = 0, height = 0;
  std::uint8_t colourType = 0;
  std::vector<std::uint8_t> compressed;
  std::vector<std::array<std::uint8_t, 4>> palette;  // RGBA
  std::optional<std::array<std::uint16_t, 3>> colourKey;
  bool haveHeader = false, ended = false;
  for (std::size_t at = 8; !ended;) {
    if (bytes.size() - at < 12) return std::nullopt;
    const std::uint32_t length = U32BE(bytes, at);
    if (length > 0x7FFFFFFFu || bytes.size() - at - 12 < length) return std::nullopt;
    const auto typed = bytes.subspan(at + 4, length + 4);
    const auto data = bytes.subspan(at + 8, length);
    if (U32BE(bytes, at + 8 + length) != Crc32(typed)) return std::nullopt;
    const std::string_view type(reinterpret_cast<const char*>(typed.data()), 4);
    at += 12 + std::size_t{length};
    if (!haveHeader && type != "IHDR") return std::nullopt;
    if (type == "IHDR") {
      if (haveHeader || length != 13) return std::nullopt;
      width = U32BE(data, 0);
      height = U32BE(data, 4);
      colourType = data[9];
      // 8 bits per sample, deflate, the standard filters, no interlacing.
      if (data[8] != 8 || data[10] != 0 || data[11] != 0 || data[12] != 0) return std::nullopt;
      if (colourType != 0 && colourType != 2 && colourType != 3 && colourType != 4 &&
          colourType != 6) {
        return std::nullopt;
      }
      haveHeader = true;
    } else if (type == "PLTE") {
      if (length % 3 != 0 || length / 3 > 256 || length == 0 || !palette.empty()) {
        return std::nullopt;
      }
      for (std::size_t i = 0; i < length; i += 3) {
        palette.push_back({data[i], data[i + 1], data[i + 2], 255});
      }
    } else if (type == "tRNS") {
      if (colourType == 3) {
        if (length > palette.size()) return std::nullopt;
        for (std::size_t i = 0; i < length; ++i) palette[i][3] = data[i];
      } else if (colourType == 0 && length == 2) {
        const auto grey = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
        colourKey = std::array<std::uint16_t, 3>{grey, grey, grey};
      } else if (colourType == 2 && length == 6) {
        colourKey =
            std::array<std::uint16_t, 3>{static_cast<std::uint16_t>(data[0] << 8 | data[1]),
                                         static_cast<std::uint16_t>(data[2] << 8 | data[3]),
                                         static_cast<std::uint16_t>(data[4] << 8 | data[5])};
      } else {
        return std::nullopt;
      }
    } else if (type == "IDAT") {
      compressed.insert(compressed.end(), data.begin(), data.end());
    } else if (type == "IEND") {
      ended = true;
    } else if ((type[0] & 0x20) == 0) {
      return std::nullopt;  // a critical chunk this reader does not know
    }
  }
  if (colourType == 3 && palette.empty()) return std::nullopt;
  std::optional<Bitmap32> bitmap = NewBitmap(width, height);
  if (!bitmap) return std::nullopt;

  static constexpr std::array<std::size_t, 7> kChannels = {1, 0, 3, 1, 2, 0, 4};
  const std::size_t channels = kChannels[colourType];
  const std::size_t stride = std::size_t{width} * channels;
  auto raw = ZlibDecompress(compressed, (stride + 1) * height);
  if (!raw || !Unfilter(*raw, height, stride, channels)) return std::nullopt;

  std::uint8_t* out = bitmap->pixels.data();
  for (std::size_t y = 0; y < height; ++y) {
    const std::uint8_t* line = raw->data() + y * (stride + 1) + 1;
    for (std::size_t x = 0; x < width; ++x, out += 4) {
      const std::uint8_t* p = line + x * channels;
      std::uint8_t r = 0, g = 0, b = 0, a = 255;
      switch (colourType) {
        case 0:
          r = g = b = p[0];
          break;
        case 2:
          r = p[0];
          g = p[1];
          b = p[2];
          break;
        case 3:
          if (p[0] >= palette.size()) return std::nullopt;
          r = palette[p[0]][0];
          g = palette[p[0]][1];
          b = palette[p[0]][2];
          a = palette[p[0]][3];
          break;
        case 4:
          r = g = b = p[0];
          a = p[1];
          break;
        default:
          r = p[0];
          g = p[1];
          b = p[2];
          a = p[3];
          break;
      }
      if (colourKey && (*colourKey)[0] == r && (*colourKey)[1] == g && (*colourKey)[2] == b) {
        a = 0;
      }
      out[0] = b;
      out[1] = g;
      out[2] = r;
      out[3] = a;
    }
  }
  return bitmap;
}

// --- BMP --------------------------------------------------------------------------------------

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

// The shift of an 8-bit wide mask; -1 for a mask of another shape, -2 for none.
int MaskShift(std::uint32_t mask) {
  if (mask == 0) return -2;
  int shift = 0;
  while ((mask & 1) == 0) {
    mask >>= 1;
    ++shift;
  }
  return mask == 0xFF ? shift : -1;
}

}  // namespace

std::optional<Bitmap32> DecodeBmp(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kFileHeader = 14;
  if (bytes.size() < kFileHeader + 40 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
  const std::uint32_t pixelOffset = U32LE(bytes, 10);
  const std::uint32_t headerSize = U32LE(bytes, 14);
  if (headerSize < 40 || headerSize > bytes.size() - kFileHeader) return std::nullopt;
  const auto width = static_cast<std::int32_t>(U32LE(bytes, 18));
  const auto height = static_cast<std::int32_t>(U32LE(bytes, 22));
  const std::uint16_t planes = U16LE(bytes, 26);
  const std::uint16_t bits = U16LE(bytes, 28);
  const std::uint32_t compression = U32LE(bytes, 30);
  if (planes != 1 || width <= 0 || height == 0 || height == INT32_MIN) return std::nullopt;
  const bool topDown = height < 0;
  const std::uint32_t rows = static_cast<std::uint32_t>(topDown ? -height : height);

  // Red, green, blue and alpha masks of 32-bit pixels.
  std::array<std::uint32_t, 4> masks = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0};
  if (bits == 24) {
    if (compression != kBiRgb) return std::nullopt;
  } else if (bits == 32) {
    if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
      // The masks follow a plain info header, or are part of a longer one.
      const std::size_t count = compression == kBiAlphaBitfields || headerSize >= 56 ? 4 : 3;
      const std::size_t at = kFileHeader + 40;
      const std::size_t end = headerSize > 40 ? kFileHeader + headerSize : at + 4 * count;
      if (end > bytes.size() || at + 4 * count > end) return std::nullopt;
      masks = {U32LE(bytes, at), U32LE(bytes, at + 4), U32LE(bytes, at + 8),
               count == 4 ? U32LE(bytes, at + 12) : 0};
    } else if (compression != kBiRgb) {
      return std::nullopt;
    }
  } else {
    return std::nullopt;
  }
  std::array<int, 4> shifts{};
  for (std::size_t i = 0; i < 4; ++i) {
    shifts[i] = MaskShift(masks[i]);
    if (shifts[i] == -1 || (i < 3 && shifts[i] == -2)) return std::nullopt;
  }

  const std::uint64_t stride =
      (std::uint64_t{static_cast<std::uint32_t>(width)} * bits + 31) / 32 * 4;
  if (pixelOffset > bytes.size() || stride * rows > bytes.size() - pixelOffset) return std::nullopt;
  std::optional<Bitmap32> bitmap = NewBitmap(static_cast<std::uint32_t>(width), rows);
  if (!bitmap) return std::nullopt;
  for (std::uint32_t y = 0; y < rows; ++y) {
    const std::uint32_t stored = topDown ? y : rows - 1 - y;
    const std::uint8_t* line = bytes.data() + pixelOffset + stored * stride;
    std::uint8_t* out =
        bitmap->pixels.data() + std::size_t{y} * static_cast<std::size_t>(width) * 4;
    for (std::int32_t x = 0; x < width; ++x, out += 4) {
      if (bits == 24) {
        const std::uint8_t* p = line + x * 3;
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
        out[3] = 255;
        continue;
      }
      const std::uint32_t pixel =
          U32LE(std::span(line, static_cast<std::size_t>(stride)), static_cast<std::size_t>(x) * 4);
      out[0] = static_cast<std::uint8_t>(pixel >> shifts[2]);
      out[1] = static_cast<std::uint8_t>(pixel >> shifts[1]);
      out[2] = static_cast<std::uint8_t>(pixel >> shifts[0]);
      out[3] = shifts[3] >= 0 ? static_cast<std::uint8_t>(pixel >> shifts[3]) : 255;
    }
  }
  return bitmap;
}

std::optional<Bitmap32> DecodeImageFile(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return DecodeBmp(bytes);
  return DecodePng(bytes);
}

}  // namespace valise::platform
