# The packages users get, made by `cmake --build --preset windows --target package`:
# an NSIS installer and a zip, both holding the program and its licence. The stand-in
# tusbaudioapi.dll must never ship: Windows loads a DLL beside the program before the
# one the driver installs into system32, so a user would get the simulated interface.
# Only the program and the licence have install rules, and the packages hold what the
# rules install.
#
# Signing: with VESK2_SIGN_PKCS12 and VESK2_SIGN_PASSWORD in the environment of the
# package build (or of cpack run on its own), and optionally VESK2_SIGN_TIMESTAMP_URL,
# the program is signed before it goes into either package, and the uninstaller and the
# installer as makensis writes them (cmake/sign-windows-executable.sh).

set (VESK2_SIGN_SCRIPT ${PROJECT_SOURCE_DIR}/cmake/sign-windows-executable.sh)

install (TARGETS Vesk2ControlPanel RUNTIME DESTINATION .)
# After the strip that CPACK_STRIP_FILES makes part of the install: a signature covers
# the file as it ships.
install (CODE "
    execute_process (COMMAND bash [[${VESK2_SIGN_SCRIPT}]] \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/$<TARGET_FILE_NAME:Vesk2ControlPanel>\"
                     RESULT_VARIABLE vesk2_signed)
    if (NOT vesk2_signed EQUAL 0)
        message (FATAL_ERROR \"Signing $<TARGET_FILE_NAME:Vesk2ControlPanel> failed\")
    endif()")
install (FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
# Without the debugging information the release build carries (some 4 of its 9 MB).
set (CPACK_STRIP_FILES ON)

# The values reach the NSIS script as written here.
set (CPACK_VERBATIM_VARIABLES ON)
set (CPACK_GENERATOR NSIS ZIP)
set (CPACK_PACKAGE_NAME Vesk2ControlPanel)
set (CPACK_PACKAGE_VENDOR "Vesk")
set (CPACK_PACKAGE_DESCRIPTION_SUMMARY "Vesk 2 Control Panel")
set (CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set (CPACK_PACKAGE_INSTALL_DIRECTORY "Vesk 2 Control Panel")
# No version in the key: a newer installer finds the older one's entry and replaces it.
set (CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Vesk 2 Control Panel")
set (CPACK_SYSTEM_NAME win64)
set (CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

# Our own installer script (cmake/nsis/NSIS.template.in), in place of CPack's.
list (PREPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake/nsis)

# NSIS installers are 32-bit programs unless built for amd64; a 32-bit one would see
# the registry's 32-bit view and could not start where only 64-bit Windows programs
# run (Debian's wine64). Built for amd64, $PROGRAMFILES64 and the registry it writes
# are those of the 64-bit program it installs.
set (CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set (CPACK_NSIS_PACKAGE_NAME "Vesk 2 Control Panel")
set (CPACK_NSIS_DISPLAY_NAME "Vesk 2 Control Panel")
set (CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/Vesk2ControlPanel.ico)
set (CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/Vesk2ControlPanel.ico)

# The text a running panel quits on: the application's name, which is the package's,
# then "/-exitall". JUCE's broadcast carries it as UTF-32; the installer script builds it
# from these code units (the text is ASCII, so each byte is one).
string (HEX "${CPACK_NSIS_PACKAGE_NAME}/-exitall" vesk2_exitall_hex)
string (REGEX REPLACE "(..)" "i 0x\\1, " vesk2_exitall_units "${vesk2_exitall_hex}")
string (LENGTH "${vesk2_exitall_hex}" vesk2_exitall_bytes)
math (EXPR vesk2_exitall_bytes "(${vesk2_exitall_bytes} / 2 + 1) * 4")

set (CPACK_NSIS_DEFINES "Target amd64-unicode
!addincludedir '${PROJECT_SOURCE_DIR}/cmake/nsis'
!define VESK2_PROGRAM 'Vesk2ControlPanel.exe'
!define VESK2_EXITALL_UTF32 '${vesk2_exitall_units}i 0'
!define VESK2_EXITALL_BYTES ${vesk2_exitall_bytes}
!uninstfinalize 'bash \"${VESK2_SIGN_SCRIPT}\" \"%1\"' = 0
!finalize 'bash \"${VESK2_SIGN_SCRIPT}\" \"%1\"' = 0")

# Says once per package run whether the packages come out signed.
set (CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/Vesk2CPackSigning.cmake)

include (CPack)
