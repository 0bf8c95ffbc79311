// Option lists: the name="value" pairs of a project's OPTIONS text and of the units of its
// course structure.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace valise::course {

struct TOption {
  std::string name;
  std::string value;
};

// Name and value pairs in the order they were added. Names are looked up without regard to
// the case of ASCII letters; the first pair of a name wins.
class TOptionList {
 public:
  void Add(std::string name, std::string value);
  void Clear() { options_.clear(); }

  std::size_t Count() const { return options_.size(); }
  bool Empty() const { return options_.empty(); }
  const TOption& operator[](std::size_t index) const { return options_[index]; }
  auto begin() const { return options_.begin(); }
  auto end() const { return options_.end(); }

  // The index of the first pair with this name, or -1.
  int IndexOfName(std::string_view name) const;
  bool Has(std::string_view name) const { return IndexOfName(name) >= 0; }
  // The value of the first pair with this name; empty when there is none.
  std::string Value(std::string_view name) const;
  // Removes every pair with this name.
  void Remove(std::string_view name);

  // Appends the entries of an option text: a sequence of name="value" entries, each optionally
  // followed by one blank or ">", then "/>", then a line break. Fails with `"=" expected!` when
  // an entry has no equals sign and with `""" expected!` when its value is not enclosed in
  // double quotes. Blanks around names and after the last entry are ignored. Pairs read before
  // the failure stay in the list.
  void Parse(std::string_view text);

 private:
  std::vector<TOption> options_;
};

}  // namespace valise::course
