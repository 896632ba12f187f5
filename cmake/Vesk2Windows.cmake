# The Windows parts of the build, included by the top-level CMakeLists.txt after every
# target exists (MinGW-w64 cross build: cmake --preset windows).
#
# - JUCE's image loaders take libjpeg and libpng (and zlib) from outside, as Debian's
#   JUCE is built to; scripts/build-mingw-deps.sh makes static Windows builds of them
#   from Debian's sources into <build>/mingw-deps, at the first configure.
# - The program carries its icons, manifest and version as resources.
# - tests/windows holds the Windows-only test tools (run under Wine by tests/e2e).
# - cmake/Vesk2Packaging.cmake makes the installer and the zip (the package target).

set (VESK2_MINGW_DEPS_DIR ${CMAKE_BINARY_DIR}/mingw-deps CACHE PATH
    "Where scripts/build-mingw-deps.sh installed libjpeg, libpng and zlib for Windows")

if (NOT EXISTS ${VESK2_MINGW_DEPS_DIR}/lib/pkgconfig/libjpeg.pc)
    message (STATUS "Building libjpeg and libpng for Windows into ${CMAKE_BINARY_DIR}/mingw-deps")
    execute_process (
        COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/build-mingw-deps.sh ${CMAKE_BINARY_DIR}
        RESULT_VARIABLE vesk2_deps_result)

    if (NOT vesk2_deps_result EQUAL 0)
        message (FATAL_ERROR "scripts/build-mingw-deps.sh failed (${vesk2_deps_result})")
    endif()
endif()

# Only our own pkg-config files: the host's .pc files describe Linux libraries.
find_package (PkgConfig REQUIRED)
set (ENV{PKG_CONFIG_LIBDIR} ${VESK2_MINGW_DEPS_DIR}/lib/pkgconfig)
set (ENV{PKG_CONFIG_PATH} "")
set (ENV{PKG_CONFIG_SYSROOT_DIR} "")
# pkg-config's -L folders are searched for the archives; outside the MinGW root they
# would be re-rooted under it and missed.
list (APPEND CMAKE_FIND_ROOT_PATH ${VESK2_MINGW_DEPS_DIR})
pkg_check_modules (VESK2_WIN_IMAGE_LIBS REQUIRED IMPORTED_TARGET libjpeg libpng zlib)

target_link_libraries (vesk2_juce PRIVATE PkgConfig::VESK2_WIN_IMAGE_LIBS)

# The resource script names its files relative to itself.
target_sources (Vesk2ControlPanel PRIVATE ${PROJECT_SOURCE_DIR}/resources/Vesk2ControlPanel.rc)
set_property (SOURCE ${PROJECT_SOURCE_DIR}/resources/Vesk2ControlPanel.rc APPEND PROPERTY OBJECT_DEPENDS
    ${PROJECT_SOURCE_DIR}/resources/Vesk2ControlPanel.ico
    ${PROJECT_SOURCE_DIR}/resources/Vesk2ControlPanelSmall.ico
    ${PROJECT_SOURCE_DIR}/resources/Vesk2ControlPanel.manifest)

option (VESK2_BUILD_WINDOWS_TESTS "Build the Windows test tools run under Wine" ON)

if (VESK2_BUILD_WINDOWS_TESTS)
    add_subdirectory (${PROJECT_SOURCE_DIR}/tests/windows ${CMAKE_BINARY_DIR}/tests/windows)
endif()

include (${PROJECT_SOURCE_DIR}/cmake/Vesk2Packaging.cmake)
