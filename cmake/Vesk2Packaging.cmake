# The packages users get, made by `cmake --build --preset windows --target package`:
# an NSIS installer and a zip, both holding the program alone. The stand-in
# tusbaudioapi.dll must never ship: Windows loads a DLL beside the program before the
# one the driver installs into system32, so a user would get the simulated interface.
# Only the program has an install rule, and the packages hold what the rules install.

install (TARGETS Vesk2ControlPanel RUNTIME DESTINATION .)
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
# The interactive installer shows it; CPack would show a generic text of its own.
set (CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

# NSIS installers are 32-bit programs unless built for amd64; a 32-bit one would see
# the registry's 32-bit view and could not start where only 64-bit Windows programs
# run (Debian's wine64). Built for amd64, $PROGRAMFILES64 and the registry it writes
# are those of the 64-bit program it installs.
set (CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set (CPACK_NSIS_PACKAGE_NAME "Vesk 2 Control Panel")
set (CPACK_NSIS_DISPLAY_NAME "Vesk 2 Control Panel")
set (CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/Vesk2ControlPanel.ico)
set (CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/Vesk2ControlPanel.ico)
set (CPACK_NSIS_INSTALLED_ICON_NAME Vesk2ControlPanel.exe)
set (CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)

set (CPACK_NSIS_CREATE_ICONS_EXTRA
    "  CreateShortCut '$SMPROGRAMS\\$STARTMENU_FOLDER\\Vesk 2 Control Panel.lnk' '$INSTDIR\\Vesk2ControlPanel.exe' '' '$INSTDIR\\Vesk2ControlPanel.exe' 0")
# CPack's uninstaller deletes Software\<vendor>\<key> but leaves the vendor's key; this
# runs after that.
set (CPACK_NSIS_DELETE_ICONS_EXTRA
    "  Delete '$SMPROGRAMS\\$MUI_TEMP\\Vesk 2 Control Panel.lnk'\n  DeleteRegKey /ifempty SHCTX 'Software\\Vesk'")

# A running panel keeps its files in use: both the installer and the uninstaller close
# every one first.
set (CPACK_NSIS_DEFINES "  Target amd64-unicode\n  !include '${PROJECT_SOURCE_DIR}/cmake/Vesk2ClosePanels.nsh'")
set (CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "  Call Vesk2ClosePanels")
set (CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "  Call un.Vesk2ClosePanels")

include (CPack)
