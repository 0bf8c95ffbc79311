#include "setup/current_baggage.h"

#include "baggage/baggage.h"

namespace valise::setup {

void TCurrentBaggage::Select(const std::string& baggage) {
  if (current_ == baggage) return;
  current_.reset();  // unknown until the switch succeeds
  std::vector<std::string> params = programArguments_;
  if (!baggage.empty()) params = {programArguments_.front(), "/bag=" + baggage};
  BagInit(params);
  current_ = baggage;
}

}  // namespace valise::setup
