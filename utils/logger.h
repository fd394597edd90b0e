// The service's one way of writing what it has to say: a line per entry on
// standard output, which systemd hands to the journal on a gateway.
#pragma once

#include <iosfwd>
#include <optional>
#include <string_view>

namespace nc {

// journald's priorities (syslog's numbers), which `journalctl -p` filters on.
enum class LogPriority { error = 3, warning = 4, notice = 5, info = 6, debug = 7 };

class Logger {
 public:
  // With `journalPrefixes`, each line starts with "<N>", which journald reads
  // as the line's priority and strips; without, lines are written as given.
  Logger(std::ostream& out, bool journalPrefixes);

  // One entry, flushed at once so that nothing is lost when the process is
  // killed. Line breaks in `text` become spaces: a journal record is a line,
  // and a value that carries a line break must not forge a second record.
  void write(LogPriority priority, std::string_view text);
  void error(std::string_view text) { write(LogPriority::error, text); }
  void warning(std::string_view text) { write(LogPriority::warning, text); }
  void notice(std::string_view text) { write(LogPriority::notice, text); }
  void info(std::string_view text) { write(LogPriority::info, text); }

 private:
  std::ostream& out_;
  bool journalPrefixes_;
};

// The service's logger on standard output, with journald's prefixes when
// standard output is the journal's stream.
Logger& serviceLog();

// Whether JOURNAL_STREAM's value ("DEVICE:INODE", which systemd sets for a unit
// whose output goes to the journal) names the file with that device and inode.
// A child that inherited the variable but writes elsewhere does not match.
bool journalStreamNames(std::optional<std::string_view> variable, unsigned long long device,
                        unsigned long long inode);

}  // namespace nc
