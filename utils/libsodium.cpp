#include "utils/libsodium.h"

#include <sodium.h>

#include <cstdio>
#include <cstdlib>

namespace nc {

void ensureSodium() {
  static const bool ready = [] {
    if (sodium_init() < 0) {
      std::fputs("could not initialise libsodium\n", stderr);
      std::exit(1);
    }
    return true;
  }();
  (void)ready;
}

}  // namespace nc
