#include "course/course_structure.h"

#include "platform/errors.h"

namespace valise::course {
namespace {

// Splits a text at line feeds, dropping a carriage return before each. A line break at the
// very end starts no further line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

void RequireTagStart(std::string_view line) {
  if (line.empty() || line.front() != '<') throw Error("\"<\" expected!");
}

std::size_t CountUnits(const std::vector<std::unique_ptr<TUnit>>& units) {
  std::size_t count = units.size();
  for (const auto& unit : units) count += CountUnits(unit->children);
  return count;
}

}  // namespace

void TCourseStructure::Clear() {
  options.Clear();
  units.clear();
}

std::size_t TCourseStructure::UnitCount() const {
  return CountUnits(units);
}

void TCourseStructure::LoadFromText(std::string_view text) {
  Clear();
  try {
    std::vector<std::string_view> lines = SplitLines(text);
    if (text.substr(0, 2) == "<?") {
      LoadTagDocument(lines);
    } else {
      LoadLineFormat(lines);
    }
  } catch (...) {
    Clear();
    throw;
  }
}

// One tag per line after the document's first line. The first tag describes the structure
// itself; every later opening tag is a unit inside the unit open at that moment.
void TCourseStructure::LoadTagDocument(const std::vector<std::string_view>& lines) {
  std::vector<TUnit*> open;
  bool structureTagSeen = false;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    RequireTagStart(line);
    if (line.size() >= 2 && line[1] == '/') {
      if (!open.empty()) open.pop_back();
      continue;
    }
    bool selfClosing = line.size() >= 2 && line.substr(line.size() - 2) == "/>";
    std::string_view rest = line.substr(1);
    std::size_t nameEnd = rest.find_first_of(" >");
    std::string tag = LowerAscii(rest.substr(0, nameEnd));
    rest = nameEnd == std::string_view::npos ? std::string_view() : rest.substr(nameEnd + 1);
    if (!tag.empty() && tag.back() == '/') tag.pop_back();

    if (!structureTagSeen) {
      structureTagSeen = true;
      options.Parse(rest);
      continue;
    }
    TUnit* parent = open.empty() ? nullptr : open.back();
    std::string kind = tag == "station" || tag == "scene" ? std::string("folder") : tag;
    auto unit = std::make_unique<TUnit>(std::move(kind), parent);
    unit->options.Parse(rest);
    if (unit->options.Value("ID").empty()) {
      if (tag != "course") {
        throw Error("ID property must not be empty (" + std::string(line) +
                    ")! (TUnitList.LoadFromStream)");
      }
      unit->options.Remove("ID");
      unit->options.Add("ID", "0");
    }
    TUnit* created = unit.get();
    (parent ? parent->children : units).push_back(std::move(unit));
    if (!selfClosing) open.push_back(created);
  }
}

// The older format: one STATION, SCENE or EXERCISE tag per line, nested by kind.
void TCourseStructure::LoadLineFormat(const std::vector<std::string_view>& lines) {
  TUnit* lastStation = nullptr;
  TUnit* lastScene = nullptr;
  for (std::string_view line : lines) {
    RequireTagStart(line);
    std::string_view rest = line.substr(1);
    std::size_t nameEnd = rest.find(' ');
    if (nameEnd == std::string_view::npos) nameEnd = rest.find('>');
    std::string tag(rest.substr(0, nameEnd));
    rest = nameEnd == std::string_view::npos ? std::string_view() : rest.substr(nameEnd + 1);

    TUnit* parent = nullptr;
    if (tag == "STATION") {
      parent = nullptr;
    } else if (tag == "SCENE") {
      if (lastStation == nullptr) throw Error("SCENE without a STATION before it!");
      parent = lastStation;
    } else if (tag == "EXERCISE") {
      if (lastScene == nullptr) throw Error("EXERCISE without a SCENE before it!");
      parent = lastScene;
    } else {
      throw Error("Tag identifier expected!");
    }
    auto unit = std::make_unique<TUnit>(tag, parent);
    unit->options.Parse(rest);
    TUnit* created = unit.get();
    (parent ? parent->children : units).push_back(std::move(unit));

    if (tag == "STATION") {
      lastStation = created;
    } else if (tag == "SCENE") {
      lastScene = created;
      std::string dialog = created->options.Value("DIALOG");
      if (created->options.Has("DIALOG") && !dialog.empty() && dialog != "0") {
        auto dialogUnit = std::make_unique<TUnit>("DIALOG", created);
        dialogUnit->options.Add("ID", dialog);
        created->children.push_back(std::move(dialogUnit));
      }
      created->options.Remove("DIALOG");
    }
  }
}

}  // namespace valise::course
