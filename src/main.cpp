#include <iostream>
#include <string>
#include <vector>

#include "src/command_line.h"
#include "src/fatal_signals.h"

int main(int argc, char** argv) {
  nc::installFatalSignalHandlers();
  const nc::CommandLineOutcome outcome =
      nc::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr, nc::terminalWidth());
  if (!outcome.settings) return outcome.exitStatus;
  std::cout << "starting nodeconsole v" NODECONSOLE_VERSION << std::endl;
  return 0;
}
