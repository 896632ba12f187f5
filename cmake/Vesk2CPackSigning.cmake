# Read by cpack before each package it makes: one line for the run tells whether the
# packages are signed (cmake/sign-windows-executable.sh does the signing).
if (CPACK_GENERATOR STREQUAL "NSIS")
    if ("$ENV{VESK2_SIGN_PKCS12}" STREQUAL "")
        message (STATUS "Packages unsigned: set VESK2_SIGN_PKCS12 and VESK2_SIGN_PASSWORD to sign them (README)")
    else()
        message (STATUS "Packages signed with $ENV{VESK2_SIGN_PKCS12}")
    endif()
endif()
