# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model, which
# std::thread and std::mutex need).
#
#   cmake --preset windows
#   (or: cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
#
# The JPEG and PNG libraries JUCE needs come from scripts/build-mingw-deps.sh, which
# installs them into <build>/mingw-deps.

set (CMAKE_SYSTEM_NAME Windows)
set (CMAKE_SYSTEM_PROCESSOR x86_64)

set (VESK2_MINGW_TRIPLE x86_64-w64-mingw32)

set (CMAKE_C_COMPILER   ${VESK2_MINGW_TRIPLE}-gcc-posix)
set (CMAKE_CXX_COMPILER ${VESK2_MINGW_TRIPLE}-g++-posix)
set (CMAKE_RC_COMPILER  ${VESK2_MINGW_TRIPLE}-windres)
set (CMAKE_AR           ${VESK2_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set (CMAKE_RANLIB       ${VESK2_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

set (CMAKE_FIND_ROOT_PATH /usr/${VESK2_MINGW_TRIPLE})
set (CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set (CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set (CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# JUCE's CMake package is the host's (it holds module sources, nothing compiled), so
# the package search must look outside the MinGW root, and in the host's multiarch
# folder, which a Windows target does not search by itself.
set (CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

if (NOT DEFINED JUCE_DIR)
    file (GLOB _vesk2_juce_dirs /usr/lib/*/cmake/JUCE-* /usr/lib/cmake/JUCE-* /usr/local/lib/cmake/JUCE-*)

    if (_vesk2_juce_dirs)
        list (GET _vesk2_juce_dirs 0 _vesk2_juce_dir)
        set (JUCE_DIR ${_vesk2_juce_dir} CACHE PATH "JUCE's CMake package")
    endif()
endif()

# The C and C++ runtimes and winpthread go into each binary, so what we ship depends
# on Windows' own DLLs and, for the program, on the driver library alone.
set (CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set (CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set (CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

