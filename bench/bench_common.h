// Helpers the benchmarks share: timing, medians, preparing the machine before a timed run and
// writing payload files.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <vector>

namespace valise::bench {

inline double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Memory the host took back costs a lot the first time it is touched again.
inline void TouchMemory(std::size_t gib) {
  for (std::size_t i = 0; i < gib; ++i) {
    std::vector<char> block(std::size_t{1} << 30);
    for (std::size_t at = 0; at < block.size(); at += 4096) block[at] = 1;
  }
}

// Reads files so that they are in the page cache.
inline void Warm(const std::vector<std::filesystem::path>& files) {
  std::vector<char> buffer(1 << 20);
  for (const std::filesystem::path& file : files) {
    const int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0) continue;
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
  }
}

inline void WriteRandomFile(const std::filesystem::path& path, std::size_t size,
                            std::mt19937_64& random) {
  std::vector<std::uint64_t> block(8192);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  std::size_t left = size;
  while (left > 0) {
    for (auto& word : block) word = random();
    const std::size_t n = std::min(left, block.size() * sizeof(std::uint64_t));
    if (::write(fd, block.data(), n) != static_cast<ssize_t>(n)) std::exit(1);
    left -= n;
  }
  ::close(fd);
}

// Runs both, round by round, alternating which goes first.
inline void Paired(int rounds, const std::function<double(int)>& a,
                   const std::function<double(int)>& b, std::vector<double>& as,
                   std::vector<double>& bs) {
  for (int r = 0; r < rounds; ++r) {
    if (r % 2 == 0) {
      as.push_back(a(r));
      bs.push_back(b(r));
    } else {
      bs.push_back(b(r));
      as.push_back(a(r));
    }
  }
}

}  // namespace valise::bench
