# Cross-compiling for arm64 (64-bit ARM boards) on an amd64 Debian with
# Debian's cross compiler (package crossbuild-essential-arm64).
#
# The arm64 libraries come from one of two places:
# - VELANE_ARM64_SYSROOT set (cache or environment): an arm64 Debian tree
#   (scripts/test-arm64 makes one with debootstrap). Needed on Debian 12,
#   where libwebkit2gtk-4.1-dev:arm64 cannot sit beside the amd64 packages
#   (through libsoup-3.0-dev it pulls gobject-introspection:arm64, which
#   wants python3:arm64).
# - otherwise the host's own multiarch packages (the :arm64 -dev packages).
# Built programs run on this machine through qemu user-mode emulation, so
# the unit tests are discovered and run as usual.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VELANE_ARM64_TRIPLET aarch64-linux-gnu)

find_program(CMAKE_C_COMPILER NAMES ${VELANE_ARM64_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VELANE_ARM64_TRIPLET}-g++ REQUIRED)

if(NOT VELANE_ARM64_SYSROOT AND DEFINED ENV{VELANE_ARM64_SYSROOT})
  set(VELANE_ARM64_SYSROOT $ENV{VELANE_ARM64_SYSROOT})
endif()
# try_compile projects read this file again: they get the tree too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELANE_ARM64_SYSROOT)
if(VELANE_ARM64_SYSROOT)
  set(VELANE_ARM64_SYSROOT ${VELANE_ARM64_SYSROOT} CACHE PATH "arm64 Debian tree")
  set(CMAKE_SYSROOT ${VELANE_ARM64_SYSROOT})
  set(CMAKE_FIND_ROOT_PATH ${VELANE_ARM64_SYSROOT})
  set(ENV{PKG_CONFIG_SYSROOT_DIR} ${VELANE_ARM64_SYSROOT})
  set(VELANE_ARM64_LIBS ${VELANE_ARM64_SYSROOT})
else()
  set(CMAKE_FIND_ROOT_PATH /usr/${VELANE_ARM64_TRIPLET} /)
  # The :arm64 packages bring their own C library (libc6:arm64): programs
  # run with it, not with the cross compiler's copy, whose loader would mix
  # with the multiarch libc.
  set(VELANE_ARM64_LIBS /)
endif()
set(CMAKE_LIBRARY_ARCHITECTURE ${VELANE_ARM64_TRIPLET})
set(ENV{PKG_CONFIG_LIBDIR}
    "${CMAKE_SYSROOT}/usr/lib/${VELANE_ARM64_TRIPLET}/pkgconfig:${CMAKE_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# dpkg-buildflags (the hardening flags) answers for the target: no
# x86-only flag such as -fcf-protection.
set(ENV{DEB_HOST_ARCH} arm64)

find_program(VELANE_QEMU NAMES qemu-aarch64-static qemu-aarch64)
if(VELANE_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELANE_QEMU} -L ${VELANE_ARM64_LIBS})
endif()
