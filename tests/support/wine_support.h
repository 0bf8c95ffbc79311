// Running Windows programs under Wine from the native tests, to compare the posix backend with
// what the real Windows API (as Wine implements it) sees in the same prefix.
#pragma once

#include <string>
#include <vector>

namespace valise::testing {

struct WineResult {
  int exitCode = -1;
  std::string output;  // standard output
};

// True when Wine and the Windows probe were found at build time.
bool WineAvailable();

// A Wine prefix made by wineboot once per build folder and shared by the tests that use Wine.
// While an object lives it holds the prefix's lock (tests running in parallel take turns) and
// WINEPREFIX names the prefix, so that the posix backend works in it too; the destructor
// restores the previous WINEPREFIX. The prefix has Managed=N and plain user folders.
class SharedWinePrefix {
 public:
  SharedWinePrefix();
  ~SharedWinePrefix();
  SharedWinePrefix(const SharedWinePrefix&) = delete;
  SharedWinePrefix& operator=(const SharedWinePrefix&) = delete;

  const std::string& path() const { return path_; }

  // Runs `wine args...` in the prefix and waits until its wineserver has ended, so that the
  // registry files are written and free for the posix backend again.
  WineResult Run(const std::vector<std::string>& args) const;
  // Runs the Windows probe with a command and its arguments.
  WineResult Probe(const std::vector<std::string>& args) const;

 private:
  std::string path_;
  std::string previous_;
  bool hadPrevious_ = false;
  int lockFd_ = -1;
};

}  // namespace valise::testing
