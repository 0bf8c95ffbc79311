// Where a failure happened. A failure keeps the message it was thrown with (the error box
// shows it word for word); as it passes outwards, the steps it leaves add where they were:
// the application's section and title (or its record), the script key and value, the path,
// the baggage. The program entry writes them on the log line after the error ("Where: ...").
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace valise::setup {

class TSetupApplication;

// Adds a place to the failure being handled; call it inside a catch block and rethrow. Places
// are added innermost first.
void AddErrorPlace(std::string place);

// The places of the failure being handled, outermost first, separated by "; "; empty when it
// has none.
std::string ErrorPlaces();

// Reports the failure being handled: logs "Error: TEXT" with the message as the system words
// it, shows the error box by `show` (with the box's text), then logs "Where: PLACES" when it
// has places. Call it inside the catch block.
void ReportFailure(const std::exception& error, const std::function<void(std::string_view)>& show);

// Throws `error` with `place` added.
template <typename E>
[[noreturn]] void ThrowWithPlace(E error, std::string place) {
  try {
    throw std::move(error);
  } catch (...) {
    AddErrorPlace(std::move(place));
    throw;
  }
}

// Calls `body`; a failure that leaves it gets the text of `place()` added.
template <typename Place, typename Body>
decltype(auto) WithErrorPlace(Place&& place, Body&& body) {
  try {
    return body();
  } catch (...) {
    AddErrorPlace(place());
    throw;
  }
}

// How a place names an application: its script section and title ("[Application2] 'Notes'",
// the section alone without a title), or its record for one the script does not offer.
std::string ApplicationPlace(const TSetupApplication& app);

// A script key and its value as the script wrote it: "InstallDir=<SrcDir>\Notes".
std::string KeyPlace(std::string_view key, std::string_view value);

}  // namespace valise::setup
