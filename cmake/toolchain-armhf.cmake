# Cross build for the board: ARMv7, hard float, Debian armhf, with Debian's
# cross compiler (crossbuild-essential-armhf).
#
# Where the board's libraries come from:
#   -DVORLAN_ARMHF_SYSROOT=DIR  a Debian armhf root holding the build
#                               dependencies (scripts/cross-armhf makes one);
#   unset                       the host's multiarch armhf packages
#                               (qtbase5-dev:armhf, libgps-dev:armhf, ...).
# Tests run under qemu-arm with the same libraries.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(VORLAN_ARMHF_TRIPLET arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${VORLAN_ARMHF_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VORLAN_ARMHF_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${VORLAN_ARMHF_TRIPLET})
# Architecture of the Debian packages that cpack makes from this build.
set(VORLAN_DEB_ARCHITECTURE armhf)

if(NOT VORLAN_ARMHF_SYSROOT AND DEFINED ENV{VORLAN_ARMHF_SYSROOT})
  set(VORLAN_ARMHF_SYSROOT "$ENV{VORLAN_ARMHF_SYSROOT}")
endif()
# The compiler checks run in projects of their own, which see only the
# variables listed here.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORLAN_ARMHF_SYSROOT)

if(VORLAN_ARMHF_SYSROOT)
  set(CMAKE_SYSROOT "${VORLAN_ARMHF_SYSROOT}")
  set(CMAKE_FIND_ROOT_PATH "${VORLAN_ARMHF_SYSROOT}")
  set(_vorlan_libdirs "${VORLAN_ARMHF_SYSROOT}/lib/${VORLAN_ARMHF_TRIPLET}"
                      "${VORLAN_ARMHF_SYSROOT}/usr/lib/${VORLAN_ARMHF_TRIPLET}")
  # Shared libraries pull in further ones (ICU, PCRE2, ...) that the linker
  # must find in the sysroot, not on the host.
  foreach(_dir IN LISTS _vorlan_libdirs)
    string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,-rpath-link,${_dir}")
    string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,-rpath-link,${_dir}")
  endforeach()
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "${VORLAN_ARMHF_SYSROOT}")
  set(ENV{PKG_CONFIG_LIBDIR}
      "${VORLAN_ARMHF_SYSROOT}/usr/lib/${VORLAN_ARMHF_TRIPLET}/pkgconfig:${VORLAN_ARMHF_SYSROOT}/usr/share/pkgconfig")
  # The emulator looks up every path of the emulated program under its -L
  # prefix first; a whole root there would hide the host's /tmp, /etc and
  # /dev from the tests. A prefix with only the library folders does not.
  set(_vorlan_qemu_prefix "${VORLAN_ARMHF_SYSROOT}/.qemu-ld-prefix")
  if(NOT EXISTS "${_vorlan_qemu_prefix}/usr/lib")
    file(MAKE_DIRECTORY "${_vorlan_qemu_prefix}/usr")
    file(CREATE_LINK ../lib "${_vorlan_qemu_prefix}/lib" SYMBOLIC)
    file(CREATE_LINK ../../usr/lib "${_vorlan_qemu_prefix}/usr/lib" SYMBOLIC)
  endif()
else()
  set(CMAKE_FIND_ROOT_PATH /usr/${VORLAN_ARMHF_TRIPLET})
  set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${VORLAN_ARMHF_TRIPLET}/pkgconfig:/usr/share/pkgconfig")
  set(_vorlan_qemu_prefix /usr/${VORLAN_ARMHF_TRIPLET})
endif()

# Programs run on the host; libraries, headers and packages come from the
# board's side only, so nothing of the host's amd64 Qt slips in.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(NOT VORLAN_ARMHF_SYSROOT)
  # Multiarch: the armhf Qt and libgps live under /usr, beside the host's.
  list(APPEND CMAKE_FIND_ROOT_PATH /)
endif()

# Tests built for the board run under user-mode emulation. QEMU before 8
# cannot emulate the clone() with a pidfd that QProcess uses, so tests that
# start processes need a newer one (scripts/cross-armhf fetches it).
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORLAN_QEMU_ARM)
if(NOT VORLAN_QEMU_ARM)
  find_program(VORLAN_QEMU_ARM NAMES qemu-arm qemu-arm-static)
endif()
set(VORLAN_ARMHF_QEMU_LD_PREFIX "${_vorlan_qemu_prefix}")
if(VORLAN_QEMU_ARM)
  # Through the environment, not -L: the programs a test starts run under
  # the emulator by binfmt_misc and find their libraries the same way.
  # LD_BIND_NOW: lazy symbol binding in threaded programs trips an
  # assertion of the dynamic loader now and then under the emulator.
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env "QEMU_LD_PREFIX=${_vorlan_qemu_prefix}" LD_BIND_NOW=1
      "${VORLAN_QEMU_ARM}")
endif()

# Qt's code generators (moc, rcc, qdbusxml2cpp) must be the host's, not the
# board's copies that the armhf Qt packages name.
set(CMAKE_PROJECT_INCLUDE "${CMAKE_CURRENT_LIST_DIR}/VorlanHostQtTools.cmake")
