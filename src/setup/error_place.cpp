#include "setup/error_place.h"

#include <vector>

#include "setup/application.h"
#include "setup/setup_ui.h"
#include "util/file_utils.h"

namespace valise::setup {

namespace {

// The failure the places belong to: a place added while another failure is handled starts
// the list afresh.
struct Places {
  std::exception_ptr failure;
  std::vector<std::string> places;
};

Places& Current() {
  thread_local Places current;
  return current;
}

}  // namespace

void AddErrorPlace(std::string place) {
  Places& current = Current();
  const std::exception_ptr failure = std::current_exception();
  if (failure != current.failure) {
    current.failure = failure;
    current.places.clear();
  }
  if (!place.empty()) current.places.push_back(std::move(place));
}

std::string ErrorPlaces() {
  const Places& current = Current();
  if (!current.failure || current.failure != std::current_exception()) return {};
  std::string text;
  for (auto place = current.places.rbegin(); place != current.places.rend(); ++place) {
    if (!text.empty()) text += "; ";
    text += *place;
  }
  return text;
}

void ReportFailure(const std::exception& error, const std::function<void(std::string_view)>& show) {
  DebugLog(std::string("Error: ") + error.what());
  show(ErrorBoxText(error.what()));
  // The message stays as the system words it; where it happened follows on the next line.
  const std::string places = ErrorPlaces();
  if (!places.empty()) DebugLog("Where: " + places);
}

std::string ApplicationPlace(const TSetupApplication& app) {
  std::string place = app.ScriptIndex > 0
                          ? "[Application" + std::to_string(app.ScriptIndex) + "]"
                          : "the installed application " +
                                (app.RecordKeyName.empty() ? app.RecordKey() : app.RecordKeyName);
  if (!app.Title.empty()) place += " '" + app.Title + "'";
  return place;
}

std::string KeyPlace(std::string_view key, std::string_view value) {
  return std::string(key) + "=" + std::string(value);
}

}  // namespace valise::setup
