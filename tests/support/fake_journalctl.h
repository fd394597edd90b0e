// A fake `journalctl` placed first on PATH (tests/support/fake_journalctl.sh):
// it plays recorded entries the way journalctl reads them after a cursor or
// by their last lines, records its calls, can flood its reader, and can be
// taken away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace nc::test {

class FakeJournalctl {
 public:
  // Also puts the fake first on this process's PATH, for in-process tests.
  FakeJournalctl();
  ~FakeJournalctl();
  FakeJournalctl(const FakeJournalctl&) = delete;
  FakeJournalctl& operator=(const FakeJournalctl&) = delete;

  // Appends one entry: a line of the unit's output, taken by the journal at
  // `timeSeconds` (Unix seconds).
  void append(const std::string& message, int64_t timeSeconds, int priority = 6);
  void append(const std::vector<std::string>& messages, int64_t timeSeconds);
  // The size of the entries as one call without options plays them.
  size_t playedBytes() const;
  // The argument lists of the calls so far.
  std::vector<std::string> calls() const;
  // Every call from now on plays the entries over and over until `bytes` are out.
  void flood(size_t bytes);
  // Whether a flood got all its bytes out, or its reader ended it first.
  bool floodFinished() const;
  // journalctl is no longer found: this process's PATH names only the
  // fake's folder, which no longer holds it.
  void takeAway();

  // PATH for a child process that should find the fake.
  std::map<std::string, std::string> environment() const;

 private:
  TempDir dir_;
  std::string oldPath_;
  size_t entries_ = 0;
};

// The lines of one statistics report as lora_pkt_fwd writes them, at report
// time `time` (Unix seconds), with the given PUSH_DATA and PULL_DATA
// acknowledged shares as printed ("100.00%").
std::vector<std::string> reportLines(int64_t time, uint32_t received, const std::string& pushAck = "100.00%",
                                     const std::string& pullAck = "100.00%");

}  // namespace nc::test
