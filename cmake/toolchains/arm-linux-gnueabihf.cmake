# Cross build for armhf (Debian's arm-linux-gnueabihf cross toolchain).
set(NODECONSOLE_TRIPLET arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(NODECONSOLE_QEMU qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
# GCC notes on every vector of pairs that their passing changed in GCC 7.1; the
# whole build and its libraries come from one compiler, so the notes only bury
# real warnings.
string(APPEND CMAKE_CXX_FLAGS_INIT " -Wno-psabi")
