#include <iostream>
#include <string>
#include <vector>

#include "src/app/command_line.h"
#include "src/app/fatal_signals.h"
#include "src/app/start_up.h"
#include "utils/libsodium.h"

int main(int argc, char** argv) {
  nc::installFatalSignalHandlers();
  // The crypto library is ready before anything else runs, as a loaded library would be.
  nc::ensureSodium();
  const nc::CommandLineOutcome outcome =
      nc::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr, nc::terminalWidth());
  if (!outcome.settings) return outcome.exitStatus;
  return nc::nodeconsole(*outcome.settings);
}
