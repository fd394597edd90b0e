#include "utils/logger.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>

namespace nc {

Logger::Logger(std::ostream& out, bool journalPrefixes) : out_(out), journalPrefixes_(journalPrefixes) {}

void Logger::write(LogPriority priority, std::string_view text) {
  std::string line;
  line.reserve(text.size() + 4);
  if (journalPrefixes_) line += "<" + std::to_string(static_cast<int>(priority)) + ">";
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  out_ << line << std::endl;
}

bool journalStreamNames(std::optional<std::string_view> variable, unsigned long long device,
                        unsigned long long inode) {
  return variable && *variable == std::to_string(device) + ":" + std::to_string(inode);
}

namespace {

bool standardOutputIsJournal() {
  const char* variable = std::getenv("JOURNAL_STREAM");
  struct stat status {};
  if (variable == nullptr || ::fstat(STDOUT_FILENO, &status) != 0) return false;
  return journalStreamNames(variable, status.st_dev, status.st_ino);
}

}  // namespace

Logger& serviceLog() {
  static Logger logger(std::cout, standardOutputIsJournal());
  return logger;
}

}  // namespace nc
