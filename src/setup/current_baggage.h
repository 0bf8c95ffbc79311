// The baggage the engine reads members and tables from. The baggage module keeps one current
// baggage for the whole process; this is the one place the engine switches it, and it knows
// which one is current, so that a switch to the current one costs nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace valise::setup {

// The baggage a program's arguments (its path, then its parameters) select: the value of the
// last "/BAG=" or "/BAGGAGE=", or a document path, else the program itself.
std::string BaggageNamedBy(const std::vector<std::string>& arguments);

class TCurrentBaggage {
 public:
  // `programArguments`: what the program started with (the program's path, then its
  // parameters), which select its own baggage. The program entry selected it already.
  explicit TCurrentBaggage(std::vector<std::string> programArguments)
      : programArguments_(std::move(programArguments)) {}

  // Makes current the baggage that a "/bag=" value names, or the program's own for an empty
  // value. Throws what the baggage module throws.
  void Select(const std::string& baggage);
  // The current baggage as the place of a failure: "the baggage " and its path as the script
  // or the command line named it, with the folder of its files when it has no container.
  std::string Place() const;

 private:
  std::vector<std::string> programArguments_;
  // The "/bag=" value of the current baggage, empty for the program's own; nothing before the
  // first switch when the program's own was not selected through here.
  std::optional<std::string> current_ = std::string();
};

}  // namespace valise::setup
