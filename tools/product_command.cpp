// `valise product`: opens a baggage as the setup does and prints the product's identity from
// its project table and the setup's eleven window texts from its text pool.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "baggage/baggage.h"
#include "command.h"
#include "course/app_strings.h"
#include "course/languages.h"
#include "course/project.h"
#include "course/textpool.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/host_paths.h"
#include "platform/messages.h"

namespace valise::tools {
namespace {

using course::TLanguage;

// A language given by number or by its English name ("German", "british english").
TLanguage ParseLanguage(const std::string& text) {
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos &&
      text.size() <= 3 && std::stoi(text) <= 255) {
    return static_cast<TLanguage>(std::stoi(text));
  }
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
  };
  for (int language = 0; language <= course::LANG_FINISH; ++language) {
    if (lower(course::LanguageName(language)) == lower(text)) {
      return static_cast<TLanguage>(language);
    }
  }
  throw UsageError("unknown language '" + text + "'");
}

std::string Describe(int language) {
  return course::LanguageName(language) + " (" + std::to_string(language) + ")";
}

int RunProduct(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("a baggage is needed");
  std::vector<TLanguage> languages;
  for (std::size_t i = 1; i < args.size(); ++i) languages.push_back(ParseLanguage(args[i]));

  // Missing strings show as marker texts; no warning boxes in a tool.
  platform::SetMessageBoxHandler(
      [](std::string_view, std::string_view, platform::MessageIcon, platform::MessageButtons) {
        return platform::MessageResult::No;
      });
  int missing = 0;

  std::string baggage = platform::ToWindowsPath(args[0]);
  std::vector<std::string> params{platform::ProgramPath(), "/bag=" + baggage};
  try {
    BagInit(params);
  } catch (const OSError&) {
    throw;
  } catch (const Error& error) {
    // The baggage's own texts ("Error accessing .BAG file!") name no file.
    throw Error(baggage + ": " + error.what());
  }

  course::TProjectInterface& project = course::Project();
  project.Close();
  project.Open(false);
  project.Load(false);
  const course::TProjectRecord& record = *project.Project();
  std::printf("baggage:              %s\n", baggage.c_str());
  std::printf("title:                %s\n", project.Title().c_str());
  std::printf("product code:         %s\n", project.ProductCode().c_str());
  std::printf("release:              %d\n",
              static_cast<int>(static_cast<std::int16_t>(project.Release())));
  std::printf("project ID:           %d\n", project.ProjectId());
  std::printf("version:              %s\n", record.version.c_str());
  std::printf("course language:      %s\n", Describe(project.CourseLanguage()).c_str());
  std::printf("translation language: %s\n", Describe(project.TranslationLanguage()).c_str());
  std::printf("course units:         %zu\n", record.course.UnitCount());
  std::printf("options:              %zu\n", record.options.Count());

  course::TTextpoolInterface& textpool = course::Textpool();
  textpool.Close();
  textpool.Open(false);
  if (languages.empty()) languages.push_back(project.TranslationLanguage());
  for (TLanguage language : languages) {
    // As the setup would load them if this were the product's translation language.
    textpool.LoadAppStrings(language, project.CourseLanguage());
    std::printf("\nwindow texts in %s (else %s):\n", Describe(language).c_str(),
                Describe(project.CourseLanguage()).c_str());
    for (std::uint32_t id : course::kWindowTextIds) {
      std::string identifier = course::TTextpoolInterface::IdentifierOf(id);
      std::string text = textpool.Cached(id) != nullptr
                             ? *textpool.Cached(id)
                             : course::TTextpoolInterface::MarkerText(language, id);
      if (textpool.Cached(id) == nullptr) ++missing;
      std::printf("  %-22s %6u  %s\n", identifier.c_str(), id, text.c_str());
    }
  }
  textpool.Close();
  project.Close();
  BagDone();
  if (missing > 0) std::printf("\n%d window text(s) missing\n", missing);
  return missing > 0 ? 1 : 0;
}

const Command kProduct(
    "product", "print a baggage's product identity and window texts",
    "usage: valise product BAGGAGE [LANGUAGE...]\n"
    "\n"
    "Opens BAGGAGE (a baggage file or a folder of loose files) as the setup does, reads its\n"
    "project table _PRJ.ADB and prints the product's identity, then reads its text pool\n"
    "_TXT.ADB and prints the setup's eleven window texts in each LANGUAGE (a number or an\n"
    "English name such as German; default: the product's translation language), falling back\n"
    "to the course language like the setup. Exits with 1 when a window text is missing.\n",
    RunProduct);

}  // namespace
}  // namespace valise::tools
