#include "support/read_only_bytes.h"

#include <cstddef>

// 34380 repetitions of 61 bytes: 2,097,180 bytes, more than a small socket
// buffer takes in one call.
asm(R"(
  .section .rodata
  .balign 16
nc_test_read_only_bytes:
  .rept 34380
  .ascii "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXY"
  .endr
nc_test_read_only_bytes_end:
  .balign 8
nc_test_read_only_bytes_size:
  .quad nc_test_read_only_bytes_end - nc_test_read_only_bytes
  .globl nc_test_read_only_bytes
  .hidden nc_test_read_only_bytes
  .globl nc_test_read_only_bytes_size
  .hidden nc_test_read_only_bytes_size
  .previous
)");

extern "C" const char nc_test_read_only_bytes[];
extern "C" const std::size_t nc_test_read_only_bytes_size;

namespace nc::test {

std::string_view readOnlyBytes() { return {nc_test_read_only_bytes, nc_test_read_only_bytes_size}; }

}  // namespace nc::test
