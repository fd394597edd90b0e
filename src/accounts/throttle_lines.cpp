#include "src/accounts/throttle_lines.h"

namespace nc {

RefusalRuns::RefusalRuns(size_t maxAddresses) : runs_(maxAddresses) {}

std::optional<RefusalNote> RefusalRuns::refused(std::string_view address, ThrottleClock::time_point now) {
  Run& run = runs_.touch(address);
  if (run.total == 0) {
    run = {1, 0, now};
    return RefusalNote{true};
  }
  ++run.total;
  ++run.sinceLine;
  if (now - run.lastLine < refusalSummaryInterval) return std::nullopt;
  const RefusalNote note{false, run.sinceLine, std::chrono::floor<std::chrono::seconds>(now - run.lastLine)};
  run.sinceLine = 0;
  run.lastLine = now;
  return note;
}

std::optional<int> RefusalRuns::letThrough(std::string_view address) {
  const Run* run = runs_.find(address);
  if (run == nullptr) return std::nullopt;
  const int total = run->total;
  runs_.erase(address);
  return total;
}

LineBudget::LineBudget(int perWindow, std::chrono::seconds window) : perWindow_(perWindow), window_(window) {}

LineBudget::Admission LineBudget::admit(ThrottleClock::time_point now) {
  Admission admission;
  if (!windowStart_ || now - *windowStart_ >= window_) {
    admission.heldBack = heldBack_;
    windowStart_ = now;
    written_ = 0;
    heldBack_ = 0;
  }
  if (written_ < perWindow_) {
    ++written_;
    admission.write = true;
  } else {
    ++heldBack_;
  }
  return admission;
}

}  // namespace nc
