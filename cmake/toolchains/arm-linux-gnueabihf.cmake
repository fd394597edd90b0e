# Cross build for armhf (Debian's arm-linux-gnueabihf cross toolchain).
set(NODECONSOLE_TRIPLET arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(NODECONSOLE_QEMU qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
