#include "src/forwarder/settle_watch.h"

namespace nc {
namespace {

constexpr std::string_view unknownPrefix = "unknown: ";
constexpr std::string_view neverRead = "its state was never read";

std::string describe(const UnitStatus& status) {
  if (!status.known()) return std::string(unknownPrefix) + status.message;
  return status.subState.empty() ? status.state : status.state + ": " + status.subState;
}

std::string restartsMoved(int64_t from, int64_t to) {
  if (to > from) return "restarted by systemd " + std::to_string(to - from) + (to - from == 1 ? " time" : " times");
  return "restart counter moved from " + std::to_string(from) + " to " + std::to_string(to);
}

}  // namespace

std::optional<std::string> SettleWatch::observe(const UnitStatus& status) {
  last_ = status;
  if (status.restarts) {
    if (!firstRestarts_)
      firstRestarts_ = status.restarts;
    else if (*status.restarts != *firstRestarts_ && !failure_)
      failure_ = restartsMoved(*firstRestarts_, *status.restarts);
  }
  if (status.state == "failed" && !failure_) failure_ = describe(status);
  return failure_;
}

std::optional<std::string> SettleWatch::verdict() const {
  if (failure_) return failure_;
  if (!last_) return std::string(neverRead);
  if (!last_->active()) return describe(*last_);
  return std::nullopt;
}

bool isUnreadVerdict(const std::string& failure) { return failure.starts_with(unknownPrefix) || failure == neverRead; }

}  // namespace nc
