// The service's command line: nine settings, the help and version switches,
// and the texts a user sees when the line cannot be run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/app/settings.h"

namespace nc {

// Either the settings to run with, or the status to exit with once the help,
// version or error text has been written.
struct CommandLineOutcome {
  std::optional<Settings> settings;
  int exitStatus = 0;
};

// Parses the arguments after the program name. Help and version texts go to
// `out`, error texts to `err`; `columns` is the terminal width the help text
// is laid out for.
CommandLineOutcome parseCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                                    int columns);

// Columns of the user's terminal, else of COLUMNS, else 80.
int terminalWidth();

// Text helpers behind the help table and the suggestions, open to the tests.

// Breaks text at spaces into lines of at most `width` characters, choosing the
// breaks with the least sum of cubed unused widths over all lines but the
// last. A word longer than `width` stays whole on a line of its own.
std::vector<std::string> wrapLeastRagged(std::string_view text, int width);

// Edit distance counting insertions, deletions, substitutions and swaps of
// adjacent characters, with no restriction on editing a substring twice.
size_t damerauLevenshteinDistance(std::string_view a, std::string_view b);

}  // namespace nc
