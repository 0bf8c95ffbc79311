#include "course/options.h"

#include <algorithm>

#include "platform/errors.h"

namespace valise::course {
namespace {

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

void TOptionList::Add(std::string name, std::string value) {
  options_.push_back(TOption{std::move(name), std::move(value)});
}

int TOptionList::IndexOfName(std::string_view name) const {
  for (std::size_t i = 0; i < options_.size(); ++i) {
    if (SameName(options_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TOptionList::Value(std::string_view name) const {
  int index = IndexOfName(name);
  return index < 0 ? std::string() : options_[static_cast<std::size_t>(index)].value;
}

void TOptionList::Remove(std::string_view name) {
  std::erase_if(options_, [&](const TOption& option) { return SameName(option.name, name); });
}

void TOptionList::Parse(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    // Blanks and line ends after the last entry end the list; they are no entry of their own.
    std::size_t next = pos;
    while (next < text.size() && IsBlank(text[next])) ++next;
    if (next == text.size()) break;
    std::size_t equals = text.find('=', pos);
    if (equals == std::string_view::npos) throw Error("\"=\" expected!");
    // Blanks between entries beyond the one that is skipped below would otherwise become part
    // of the next name, and no lookup could find it.
    std::string_view name = text.substr(pos, equals - pos);
    while (!name.empty() && IsBlank(name.front())) name.remove_prefix(1);
    while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
    pos = equals + 1;
    if (pos >= text.size() || text[pos] != '"') throw Error("\"\"\" expected!");
    ++pos;
    std::size_t close = text.find('"', pos);
    if (close == std::string_view::npos) throw Error("\"\"\" expected!");
    Add(std::string(name), std::string(text.substr(pos, close - pos)));
    pos = close + 1;
    if (pos < text.size() && (text[pos] == ' ' || text[pos] == '>')) ++pos;
    if (text.substr(pos, 2) == "/>") pos += 2;
    if (text.substr(pos, 2) == "\r\n") pos += 2;
  }
}

}  // namespace valise::course
