// The course structure of a project: a tree of units (stations, scenes, exercises, ...), read
// from the project's COURSE memo.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "course/options.h"

namespace valise::course {

class TUnit {
 public:
  TUnit(std::string kind, TUnit* parent) : kind_(std::move(kind)), parent_(parent) {}
  TUnit(const TUnit&) = delete;
  TUnit& operator=(const TUnit&) = delete;

  // "folder", "exercise", ... in a tag document; "STATION", "SCENE", "EXERCISE" or "DIALOG" in
  // the older line format.
  const std::string& Kind() const { return kind_; }
  // The unit that holds this one; nullptr for a unit directly below the structure.
  TUnit* Parent() const { return parent_; }
  std::string Id() const { return options.Value("ID"); }

  TOptionList options;
  std::vector<std::unique_ptr<TUnit>> children;

 private:
  std::string kind_;
  TUnit* parent_;
};

class TCourseStructure {
 public:
  // Replaces the structure with the one described by `text` (UTF-8). A text that begins with
  // "<?" is a tag document, anything else the older line format. On failure the structure is
  // left empty and the error names what is wrong.
  void LoadFromText(std::string_view text);
  void Clear();

  bool Empty() const { return units.empty() && options.Empty(); }
  // Units at every depth.
  std::size_t UnitCount() const;

  // The structure's own options: the attributes of a tag document's first tag.
  TOptionList options;
  // The units directly below the structure.
  std::vector<std::unique_ptr<TUnit>> units;

 private:
  void LoadTagDocument(const std::vector<std::string_view>& lines);
  void LoadLineFormat(const std::vector<std::string_view>& lines);
};

}  // namespace valise::course
