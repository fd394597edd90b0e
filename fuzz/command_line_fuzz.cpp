// The command line: the input's NUL bytes separate the arguments; the first
// byte sets the terminal width. Every line ends in settings or in an exit
// status with the text that explains it, never in a failure.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "src/app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nc;
  using namespace nc::fuzz;
  if (size == 0) return 0;
  const int columns = data[0];
  std::string_view rest = textOf(data + 1, size - 1);
  std::vector<std::string> args;
  while (!rest.empty()) {
    const size_t end = rest.find('\0');
    args.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  std::ostringstream out, err;
  const CommandLineOutcome outcome = parseCommandLine(args, out, err, columns);
  if (outcome.settings) {
    check(outcome.exitStatus == 0 && out.str().empty() && err.str().empty(), "settings come alone");
  } else {
    check(outcome.exitStatus == 0 ? !out.str().empty() && err.str().empty() : !err.str().empty(),
          "help and version go to standard output, errors with their status to standard error");
  }
  return 0;
}
