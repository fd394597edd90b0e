# Shared by the per-architecture toolchain files: a cross build with Debian's
# cross compilers (crossbuild-essential-ARCH) against the multiarch libraries
# (libsodium-dev:ARCH, libsqlite3-dev:ARCH, libgtest-dev:ARCH). The including
# file sets NODECONSOLE_TRIPLET, CMAKE_SYSTEM_PROCESSOR and NODECONSOLE_QEMU.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${NODECONSOLE_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${NODECONSOLE_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${NODECONSOLE_TRIPLET})

# Only this architecture's libraries and headers may be found; the build's own
# tools (node, npm, scdoc) come from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${NODECONSOLE_TRIPLET} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# pkg-config reads only the target architecture's .pc files.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${NODECONSOLE_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Test programs (and the service binary that tests start as a child) run
# through user-mode emulation, with the multiarch loader and libraries
# (libc6:ARCH, libstdc++6:ARCH). Not with -L /usr/TRIPLET: qemu would then take
# the cross toolchain's own ld.so while ld.so.cache still leads to the
# multiarch libc.so.6, two builds of glibc whose private interface differs;
# the first pthread_create then spins in the loader for good.
find_program(NODECONSOLE_QEMU_PROGRAM ${NODECONSOLE_QEMU})
if(NODECONSOLE_QEMU_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NODECONSOLE_QEMU_PROGRAM})
endif()

# Where scripts/install-deps.sh had to unpack a library's development files
# itself (a foreign libsqlite3-dev or libssl-dev that apt could not install),
# pkg-config and the find modules look there first, and its multiarch headers
# (OpenSSL's configuration.h) are on the include path.
get_filename_component(NODECONSOLE_CROSS_ROOT ${CMAKE_CURRENT_LIST_DIR}/../../build/cross-root/${NODECONSOLE_TRIPLET} ABSOLUTE)
if(EXISTS ${NODECONSOLE_CROSS_ROOT}/usr/lib/${NODECONSOLE_TRIPLET}/pkgconfig)
  set(ENV{PKG_CONFIG_LIBDIR} ${NODECONSOLE_CROSS_ROOT}/usr/lib/${NODECONSOLE_TRIPLET}/pkgconfig:$ENV{PKG_CONFIG_LIBDIR})
  list(PREPEND CMAKE_FIND_ROOT_PATH ${NODECONSOLE_CROSS_ROOT})
endif()
if(EXISTS ${NODECONSOLE_CROSS_ROOT}/usr/include/${NODECONSOLE_TRIPLET})
  string(APPEND CMAKE_CXX_FLAGS_INIT " -isystem ${NODECONSOLE_CROSS_ROOT}/usr/include/${NODECONSOLE_TRIPLET}")
endif()
