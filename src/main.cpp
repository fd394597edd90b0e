#include <cstdio>

int main() {
  std::puts("starting nodeconsole v" NODECONSOLE_VERSION);
  return 0;
}
