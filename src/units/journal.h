// A unit's lines in the systemd journal, read with journalctl as a child
// awaited through the event loop, like systemctl.
//
// Reads are made on demand and go on from a cursor (--after-cursor) rather
// than following the journal with -f: a child that lives only for one read
// costs the gateway no resident journalctl (several MB of a 256 MB board),
// needs no supervisor to start it again when journald restarts or rotates its
// files, and the cursor of the last entry taken says exactly where the next
// read begins, so no line is taken twice or skipped. Each read is bounded in
// bytes and in time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio/awaitable.hpp>

#include "src/units/child_process.h"

namespace nc {

struct JournalEntry {
  std::string cursor;           // where a read that follows this entry begins
  int64_t timeUs = 0;           // when journald took the line, µs since the epoch
  std::optional<int> priority;  // syslog's 0 (emergency) to 7 (debug)
  std::string message;          // the line; bytes that are no UTF-8 become U+FFFD
};

// One line of `journalctl --output=json`: an entry, or nullopt for anything
// else (journalctl's own messages, a line cut short).
std::optional<JournalEntry> parseJournalEntry(std::string_view line);

// Which entries of the unit to read, oldest first.
struct JournalQuery {
  std::string unit;
  std::optional<std::string> afterCursor;      // those after this entry
  std::optional<int64_t> lines;                // at most this many: the first after the cursor, else the last ones
  std::optional<std::chrono::seconds> maxAge;  // without a cursor: only those this recent
};

struct JournalLimits {
  size_t maxBytes;  // of journalctl's output; the read stops there
  CommandDeadline deadline;
};

// A line of journalctl's output longer than this is dropped unread: journald
// splits a unit's output into lines of at most 48 KiB (LineMax=), which JSON's
// escapes can make a few times longer.
inline constexpr size_t maxJournalLineBytes = 256 * 1024;

struct JournalRead {
  bool cut = false;     // stopped at the byte bound or the deadline: more entries may follow the last one
  std::string failure;  // why journalctl failed, its first line of error; empty when it did not
};

// Runs journalctl for `query` and hands each entry to `onEntry` as it
// arrives, within `limits`.
asio::awaitable<JournalRead> readJournal(JournalQuery query, JournalLimits limits,
                                         std::function<void(JournalEntry&&)> onEntry);

// The most lines one read of a unit's log gives.
inline constexpr int64_t maxLogLines = 500;
// Bytes of journalctl's output one log read takes: 500 lines of the forwarder
// (a packet's JSON line is under 1 KB) with journalctl's fields around each.
inline constexpr size_t maxLogReadBytes = 2 * 1024 * 1024;
// A log read still running after this is ended; the page that asked waits for it.
inline constexpr std::chrono::milliseconds logReadTimeout = std::chrono::seconds(10);

struct UnitLog {
  std::vector<JournalEntry> entries;
  bool more = false;    // the read stopped at its bound of lines or bytes; more may follow the last entry
  std::string failure;  // as JournalRead's
};

// The unit's last `lines` lines, or the first `lines` after `afterCursor`.
asio::awaitable<UnitLog> readUnitLog(std::string unit, std::optional<std::string> afterCursor, int64_t lines);

}  // namespace nc
