# Cross-building the arm64 package on an amd64 Debian with multiarch:
# Debian's cross compilers (crossbuild-essential-arm64), the :arm64
# development packages for the libraries, and the build machine's own Qt
# tools (moc, rcc), which Qt finds through QT_HOST_PATH.  scripts/package
# --arch arm64 sets all of it up in a chroot of its own.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config)
# Multiarch puts both architectures' files under /usr: programs from the
# build machine, libraries and headers from the target's folders.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(QT_HOST_PATH /usr)
execute_process(COMMAND dpkg-architecture -qDEB_BUILD_MULTIARCH OUTPUT_VARIABLE build_multiarch
                OUTPUT_STRIP_TRAILING_WHITESPACE)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${build_multiarch}/cmake)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
