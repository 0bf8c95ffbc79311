#include "setup/current_baggage.h"

#include "baggage/baggage.h"
#include "platform/text.h"
#include "setup/error_place.h"

namespace valise::setup {

std::string BaggageNamedBy(const std::vector<std::string>& arguments) {
  std::string named = arguments.empty() ? std::string() : arguments.front();
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    std::string item = arguments[i];
    if (!item.empty() && (item.front() == '"' || item.front() == '\'')) {
      item = item.size() >= 2 ? item.substr(1, item.size() - 2) : std::string();
    }
    const std::string upper = platform::UpperCase(item);
    const std::size_t equals = item.find('=');
    if ((upper.find("/BAG=") != std::string::npos ||
         upper.find("/BAGGAGE=") != std::string::npos) &&
        equals != std::string::npos) {
      named = item.substr(equals + 1);
    } else if (upper.find(".KQD") != std::string::npos) {
      named = item;
    }
  }
  return named;
}

void TCurrentBaggage::Select(const std::string& baggage) {
  if (current_ == baggage) return;
  current_.reset();  // unknown until the switch succeeds
  std::vector<std::string> params = programArguments_;
  if (!baggage.empty()) params = {programArguments_.front(), "/bag=" + baggage};
  WithErrorPlace(
      [&] {
        return "the baggage " + (baggage.empty() ? BaggageNamedBy(programArguments_) : baggage);
      },
      [&] { BagInit(params); });
  current_ = baggage;
}

std::string TCurrentBaggage::Place() const {
  std::string place = "the baggage " + (!current_           ? BagContainerPath()
                                        : current_->empty() ? BaggageNamedBy(programArguments_)
                                                            : *current_);
  if (!BagHasContainer()) place += " (its files in " + BagDirectory() + ")";
  return place;
}

}  // namespace valise::setup
