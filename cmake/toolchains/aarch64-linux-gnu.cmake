# Cross build for arm64 (Debian's aarch64-linux-gnu cross toolchain).
set(NODECONSOLE_TRIPLET aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(NODECONSOLE_QEMU qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
