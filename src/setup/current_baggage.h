// The baggage the engine reads members and tables from. The baggage module keeps one current
// baggage for the whole process; this is the one place the engine switches it, and it knows
// which one is current, so that a switch to the current one costs nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace valise::setup {

class TCurrentBaggage {
 public:
  // `programArguments`: what the program started with (the program's path, then its
  // parameters), which select its own baggage. The program entry selected it already.
  explicit TCurrentBaggage(std::vector<std::string> programArguments)
      : programArguments_(std::move(programArguments)) {}

  // Makes current the baggage that a "/bag=" value names, or the program's own for an empty
  // value. Throws what the baggage module throws.
  void Select(const std::string& baggage);

 private:
  std::vector<std::string> programArguments_;
  // The "/bag=" value of the current baggage, empty for the program's own; nothing before the
  // first switch when the program's own was not selected through here.
  std::optional<std::string> current_ = std::string();
};

}  // namespace valise::setup
