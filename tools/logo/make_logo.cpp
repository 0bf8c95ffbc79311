// Draws the setup window's logo: a suitcase and the word "Valise" as a 120 x 50 RGBA PNG (the
// foreground) and, as a 24-bit BMP, the shade the window multiplies its pixels with before the
// foreground is blended over them (a soft gradient and the foreground's drop shadow).
//
//   make_logo FOLDER           writes KQ_LOGO_GENERIC_FG.PNG and KQ_LOGO_GENERIC_BG.BMP
//   make_logo --check FOLDER   exits 1 unless the files in FOLDER are what it would write
//
// Everything is drawn from geometry with 4 x 4 samples per pixel, so edges are anti-aliased and
// the output is the same on every machine.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 50;
constexpr double kPi = 3.14159265358979323846;

struct Rgba {
  double r = 0, g = 0, b = 0, a = 0;  // straight (not premultiplied) colour, 0..1
};

struct Point {
  double x, y;
};

using Image = std::vector<Rgba>;  // kWidth * kHeight, row by row from the top
using Coverage = std::function<bool(double x, double y)>;

Rgba Hex(std::uint32_t rgb) {
  return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, 1.0};
}

// The share of a pixel's 4 x 4 samples that a shape covers.
double PixelCoverage(const Coverage& inside, int px, int py) {
  int hits = 0;
  for (int sy = 0; sy < 4; ++sy) {
    for (int sx = 0; sx < 4; ++sx) {
      if (inside(px + (sx + 0.5) / 4.0, py + (sy + 0.5) / 4.0)) ++hits;
    }
  }
  return hits / 16.0;
}

// Paints a shape over the image ("over" compositing of straight colours); the colour may vary
// with the position.
void Paint(Image& image, const Coverage& inside, const std::function<Rgba(double, double)>& paint,
           double opacity = 1.0) {
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const double cover = PixelCoverage(inside, x, y) * opacity;
      if (cover <= 0) continue;
      const Rgba src = paint(x + 0.5, y + 0.5);
      Rgba& dst = image[static_cast<std::size_t>(y * kWidth + x)];
      const double a = src.a * cover;
      const double outA = a + dst.a * (1 - a);
      if (outA <= 0) continue;
      dst.r = (src.r * a + dst.r * dst.a * (1 - a)) / outA;
      dst.g = (src.g * a + dst.g * dst.a * (1 - a)) / outA;
      dst.b = (src.b * a + dst.b * dst.a * (1 - a)) / outA;
      dst.a = outA;
    }
  }
}

void Paint(Image& image, const Coverage& inside, Rgba colour, double opacity = 1.0) {
  Paint(
      image, inside, [colour](double, double) { return colour; }, opacity);
}

Coverage RoundedRect(double x0, double y0, double x1, double y1, double radius) {
  return [=](double x, double y) {
    if (x < x0 || x > x1 || y < y0 || y > y1) return false;
    const double cx = std::clamp(x, x0 + radius, x1 - radius);
    const double cy = std::clamp(y, y0 + radius, y1 - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
  };
}

Coverage Difference(Coverage a, Coverage b) {
  return [=](double x, double y) { return a(x, y) && !b(x, y); };
}

double SegmentDistance(Point p, Point a, Point b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double length = dx * dx + dy * dy;
  double t = length > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length : 0;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = p.x - (a.x + t * dx), ey = p.y - (a.y + t * dy);
  return std::sqrt(ex * ex + ey * ey);
}

// A pen stroke of the given width along polylines, with round ends.
Coverage Strokes(std::vector<std::vector<Point>> paths, double width) {
  return [paths = std::move(paths), width](double x, double y) {
    for (const auto& path : paths) {
      for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        if (SegmentDistance({x, y}, path[i], path[i + 1]) <= width / 2) return true;
      }
      if (path.size() == 1 && SegmentDistance({x, y}, path[0], path[0]) <= width / 2) return true;
    }
    return false;
  };
}

// An elliptic arc from angle `from` to angle `to` (degrees, screen coordinates: 90 is down).
std::vector<Point> Arc(double cx, double cy, double rx, double ry, double from, double to) {
  std::vector<Point> points;
  const int steps = 48;
  for (int i = 0; i <= steps; ++i) {
    const double t = (from + (to - from) * i / steps) * kPi / 180;
    points.push_back({cx + rx * std::cos(t), cy + ry * std::sin(t)});
  }
  return points;
}

std::vector<Point> Join(std::vector<Point> a, const std::vector<Point>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The word "Valise" from pen strokes: baseline y, x-height 13, ascenders 22. Returns the
// paths and moves x past the word.
std::vector<std::vector<Point>> Word(double x, double baseline) {
  const double b = baseline;
  std::vector<std::vector<Point>> paths;
  // V
  paths.push_back({{x + 0.5, b - 21}, {x + 7, b - 0.5}, {x + 13.5, b - 21}});
  x += 15.5;
  // a: a bowl and a stem on its right
  paths.push_back(Arc(x + 5, b - 6.5, 4.6, 5.6, 0, 360));
  paths.push_back({{x + 10, b - 12.3}, {x + 10, b - 0.5}});
  x += 13.5;
  // l
  paths.push_back({{x + 1.2, b - 22}, {x + 1.2, b - 0.5}});
  x += 5;
  // i, with its dot
  paths.push_back({{x + 1.2, b - 12.3}, {x + 1.2, b - 0.5}});
  paths.push_back({{x + 1.2, b - 17.8}});
  x += 5;
  // s: an upper bowl turning left into a lower one turning right
  const double r = 3.2;
  paths.push_back(Join(Arc(x + 4.2, b - 12.6 + r, 3.8, r, -25, -270),
                       Arc(x + 4.2, b - 0.6 - r, 3.8, r, -90, 155)));
  x += 11;
  // e: the bar, then the bowl round from its right end to the lower right
  paths.push_back(
      Join({{x + 0.9, b - 6.6}, {x + 10.3, b - 6.6}}, Arc(x + 5.6, b - 6.5, 4.7, 5.9, 0, -310)));
  return paths;
}

Image Foreground() {
  Image image(kWidth * kHeight);
  // The suitcase: handle, body with a soft top light, two straps, corner caps, a clasp.
  const Rgba edge = Hex(0x6B3512);
  Paint(image, Difference(RoundedRect(16, 7, 34, 19, 4), RoundedRect(19.5, 10, 30.5, 19, 1.8)),
        edge);
  Paint(image, RoundedRect(4, 15, 46, 45, 5), edge);
  Paint(image, RoundedRect(5.5, 16.5, 44.5, 43.5, 3.8), [](double, double y) {
    const double t = std::clamp((y - 16.5) / 27.0, 0.0, 1.0);
    const Rgba top = Hex(0xE89A4E), bottom = Hex(0xB5611F);
    return Rgba{top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t,
                top.b + (bottom.b - top.b) * t, 1.0};
  });
  Paint(image, RoundedRect(7, 17.5, 43, 21, 1.5), Hex(0xFFFFFF), 0.22);  // the light on the lid
  const Rgba strap = Hex(0x7A3F16), buckle = Hex(0xF2D39B);
  Paint(image, RoundedRect(12, 15, 16, 45, 0.5), strap);
  Paint(image, RoundedRect(34, 15, 38, 45, 0.5), strap);
  Paint(image, RoundedRect(11.5, 26, 16.5, 30, 1), buckle);
  Paint(image, RoundedRect(33.5, 26, 38.5, 30, 1), buckle);
  Paint(image, RoundedRect(22, 15.5, 28, 20.5, 1.2), buckle);
  // The word, in deep blue with a lighter stroke inside for some depth.
  const auto word = Word(51, 37);
  Paint(image, Strokes(word, 3.1), Hex(0x1C3557));
  Paint(image, Strokes(word, 1.1), Hex(0x3F6EA8), 0.55);
  return image;
}

// The shade the window multiplies its pixels with: white at the top easing into a light blue
// grey, darkened under the foreground by its blurred, offset alpha.
std::vector<std::array<double, 3>> Shade(const Image& foreground) {
  std::vector<double> shadow(kWidth * kHeight, 0.0);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const int sx = x - 2, sy = y - 2;
      if (sx >= 0 && sy >= 0) shadow[y * kWidth + x] = foreground[sy * kWidth + sx].a;
    }
  }
  // Three box blurs of radius 1 come close to a Gaussian.
  for (int pass = 0; pass < 3; ++pass) {
    std::vector<double> blurred(shadow.size());
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        double sum = 0;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const int xx = std::clamp(x + dx, 0, kWidth - 1),
                      yy = std::clamp(y + dy, 0, kHeight - 1);
            sum += shadow[yy * kWidth + xx];
          }
        }
        blurred[y * kWidth + x] = sum / 9;
      }
    }
    shadow = std::move(blurred);
  }
  std::vector<std::array<double, 3>> shade(kWidth * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      // The gradient fades in towards the bottom and out towards the sides.
      const double across = std::pow(std::sin(kPi * (x + 0.5) / kWidth), 0.6);
      const double t = (y + 0.5) / kHeight * across;
      const double dark = 0.42 * shadow[y * kWidth + x];
      const std::array<double, 3> tint = {1 - 0.09 * t, 1 - 0.06 * t, 1 - 0.02 * t};
      for (int c = 0; c < 3; ++c) shade[y * kWidth + x][c] = tint[c] * (1 - dark);
    }
  }
  return shade;
}

std::uint8_t Byte(double value) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
}

void PutU32BE(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}
void PutU16LE(std::string& out, std::uint16_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8);
}
void PutU32LE(std::string& out, std::uint32_t value) {
  PutU16LE(out, static_cast<std::uint16_t>(value));
  PutU16LE(out, static_cast<std::uint16_t>(value >> 16));
}

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

std::uint32_t Adler32(const std::string& bytes) {
  std::uint32_t a = 1, b = 0;
  for (unsigned char byte : bytes) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

void Chunk(std::string& png, const char* type, const std::string& data) {
  PutU32BE(png, static_cast<std::uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  PutU32BE(png, Crc32(body));
}

// A PNG file: 8-bit RGBA, no filtering, the image data in stored (uncompressed) deflate blocks.
std::string EncodePng(const Image& image) {
  std::string raw;
  for (int y = 0; y < kHeight; ++y) {
    raw += '\0';  // filter type None
    for (int x = 0; x < kWidth; ++x) {
      const Rgba& p = image[y * kWidth + x];
      // Fully transparent pixels carry no colour.
      const bool clear = Byte(p.a) == 0;
      raw += static_cast<char>(clear ? 0 : Byte(p.r));
      raw += static_cast<char>(clear ? 0 : Byte(p.g));
      raw += static_cast<char>(clear ? 0 : Byte(p.b));
      raw += static_cast<char>(Byte(p.a));
    }
  }
  std::string zlib = "\x78\x01";
  for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
    zlib += static_cast<char>(at + n >= raw.size() ? 1 : 0);  // BFINAL, BTYPE 00
    PutU16LE(zlib, static_cast<std::uint16_t>(n));
    PutU16LE(zlib, static_cast<std::uint16_t>(~n));
    zlib += raw.substr(at, n);
  }
  PutU32BE(zlib, Adler32(raw));

  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  PutU32BE(header, kWidth);
  PutU32BE(header, kHeight);
  header += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no interlace
  Chunk(png, "IHDR", header);
  std::string gamma;
  PutU32BE(gamma, 45455);  // 1 / 2.2
  Chunk(png, "gAMA", gamma);
  std::string chromaticity;  // the sRGB white point and primaries
  for (std::uint32_t value : {31270u, 32900u, 64000u, 33000u, 30000u, 60000u, 15000u, 6000u}) {
    PutU32BE(chromaticity, value);
  }
  Chunk(png, "cHRM", chromaticity);
  Chunk(png, "IDAT", zlib);
  Chunk(png, "IEND", "");
  return png;
}

// A bottom-up 24-bit BMP.
std::string EncodeBmp(const std::vector<std::array<double, 3>>& shade) {
  const std::uint32_t rowSize = (kWidth * 3 + 3) / 4 * 4;
  const std::uint32_t pixelBytes = rowSize * kHeight;
  std::string bmp = "BM";
  PutU32LE(bmp, 14 + 40 + pixelBytes);
  PutU32LE(bmp, 0);
  PutU32LE(bmp, 14 + 40);
  PutU32LE(bmp, 40);
  PutU32LE(bmp, kWidth);
  PutU32LE(bmp, kHeight);
  PutU16LE(bmp, 1);   // planes
  PutU16LE(bmp, 24);  // bits per pixel
  PutU32LE(bmp, 0);   // BI_RGB
  PutU32LE(bmp, pixelBytes);
  PutU32LE(bmp, 2835);  // 72 dots per inch
  PutU32LE(bmp, 2835);
  PutU32LE(bmp, 0);
  PutU32LE(bmp, 0);
  for (int y = kHeight - 1; y >= 0; --y) {
    std::string row;
    for (int x = 0; x < kWidth; ++x) {
      const auto& p = shade[y * kWidth + x];
      row += static_cast<char>(Byte(p[2]));
      row += static_cast<char>(Byte(p[1]));
      row += static_cast<char>(Byte(p[0]));
    }
    row.resize(rowSize, '\0');
    bmp += row;
  }
  return bmp;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  const bool check = argc == 3 && std::string(argv[1]) == "--check";
  if (argc != 2 && !check) {
    std::fputs("usage: make_logo [--check] FOLDER\n", stderr);
    return 2;
  }
  const std::string folder = argv[argc - 1];
  const Image foreground = Foreground();
  const std::pair<std::string, std::string> files[] = {
      {"KQ_LOGO_GENERIC_FG.PNG", EncodePng(foreground)},
      {"KQ_LOGO_GENERIC_BG.BMP", EncodeBmp(Shade(foreground))},
  };
  int status = 0;
  for (const auto& [name, bytes] : files) {
    const std::string path = folder + "/" + name;
    if (check) {
      if (ReadFile(path) != bytes) {
        std::fprintf(stderr, "%s differs from what make_logo draws\n", path.c_str());
        status = 1;
      }
      continue;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return status;
}
