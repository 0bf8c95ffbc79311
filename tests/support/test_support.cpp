#include "test_support.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

#include "platform/host_paths.h"

namespace valise::testing {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::filesystem::path base = std::filesystem::temp_directory_path();
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info != nullptr ? std::string(info->name()) : std::string("valise");
  for (char& c : name) {
    if (c == '/' || c == '\\') c = '_';
  }
  host_ = base / ("valise-" + name + "-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(host_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(host_, ignored);
}

std::string TempDir::win() const {
  return platform::ToWindowsPath(Utf8Path(host_));
}

std::string TempDir::win(std::string_view relative) const {
  std::string path = win();
  path += '\\';
  for (char c : relative) path += c == '/' ? '\\' : c;
  return path;
}

std::filesystem::path TempDir::Write(std::string_view relative, std::string_view bytes) const {
  std::filesystem::path path = host_ / HostPath(relative);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::string ReadHostFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string WithoutTimeStamps(std::string_view log) {
  // "YYYY-MM-DDTHH:MM:SS.mmm ": digits everywhere but at these places.
  constexpr std::string_view kShape = "0000-00-00T00:00:00.000 ";
  std::string out;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find("\r\n", start);
    end = end == std::string_view::npos ? log.size() : end + 2;
    std::string_view line = log.substr(start, end - start);
    bool stamped = line.size() >= kShape.size();
    for (std::size_t i = 0; stamped && i < kShape.size(); ++i) {
      const char c = line[i];
      stamped = kShape[i] == '0' ? c >= '0' && c <= '9' : c == kShape[i];
    }
    if (stamped) {
      line.remove_prefix(kShape.size());
    } else {
      ADD_FAILURE() << "A log line without its time stamp: " << line;
    }
    out += line;
    start = end;
  }
  return out;
}

std::filesystem::path HostPath(std::string_view utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8Path(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

}  // namespace valise::testing
