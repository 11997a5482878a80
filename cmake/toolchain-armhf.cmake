# The device's target: 32-bit ARM, hard-float EABI (Debian's armhf), built on a development host
# with Debian's arm-linux-gnueabihf cross compiler. There is no separate sysroot: the :armhf
# development packages (json-c, SQLite, OpenSSL, GoogleTest ...) install into the host's
# multi-arch directories (/usr/lib/arm-linux-gnueabihf), which the cross compiler searches itself.
# scripts/setup --cross installs all of it.
#
#   cmake -S . -B build-armhf -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake
#
# Programs of the build run on the host under the user-mode emulator (qemu-arm):
# CMAKE_CROSSCOMPILING_EMULATOR carries it to CTest (cmake/ZvTesting.cmake).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(ZV_CROSS_TRIPLE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${ZV_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZV_CROSS_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${ZV_CROSS_TRIPLE})
# GCC notes on every std::span or map iterator passed by value that its ARM calling convention
# changed in GCC 7.1; everything here is built by one compiler, so they say nothing.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
# Release at -O2: smaller code for the device's flash than -O3.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of Release builds")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of Release builds")

# Only the target's libraries and headers; programs (code generators, the emulator) are the host's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# pkg-config (FindOpenSSL asks it for hints) must describe the armhf libraries, not the host's.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${ZV_CROSS_TRIPLE}/pkgconfig:/usr/share/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})

# The statically linked emulator: a dynamically linked one would itself be subject to an
# LD_PRELOAD meant for the ARM program (the joystick tests preload an input shim).
find_program(ZV_QEMU_ARM NAMES qemu-arm-static qemu-arm)
if(ZV_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZV_QEMU_ARM})
endif()
