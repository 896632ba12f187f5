# Turns a binary file into a C++ source that defines it as a constant byte array.
# Runs in CMake's script mode, so a cross build needs no host tool but CMake:
#
#   cmake -DINPUT=logo.jpg -DOUTPUT=LogoData.cpp -DHEADER=resources/LogoData.h
#         -DNAMESPACE=LogoData -DSYMBOL=logoJpeg -P EmbedBinary.cmake
#
# The generated source includes HEADER, which declares the array and its size
# (NAMESPACE::SYMBOL and NAMESPACE::SYMBOLSize); a static_assert there stops the
# build when the file and the declared size part ways.

foreach (variable INPUT OUTPUT HEADER NAMESPACE SYMBOL)
    if (NOT DEFINED ${variable})
        message (FATAL_ERROR "EmbedBinary.cmake: -D${variable}=... is missing")
    endif()
endforeach()

file (READ "${INPUT}" hex HEX)
string (LENGTH "${hex}" hexLength)
math (EXPR byteCount "${hexLength} / 2")

if (byteCount EQUAL 0)
    message (FATAL_ERROR "EmbedBinary.cmake: ${INPUT} is empty")
endif()

# Sixteen bytes to a line.
string (REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string (REPEAT "0x[0-9a-f][0-9a-f]," 16 lineOfBytes)
string (REGEX REPLACE "(${lineOfBytes})" "\\1\n    " bytes "${bytes}")

get_filename_component (inputName "${INPUT}" NAME)

set (source "// Generated from ${inputName} by cmake/EmbedBinary.cmake; do not edit.\n")
string (APPEND source "#include \"${HEADER}\"\n\n")
string (APPEND source "namespace ${NAMESPACE}\n{\n")
string (APPEND source "extern const unsigned char ${SYMBOL}[] =\n{\n    ${bytes}\n};\n\n")
string (APPEND source "static_assert (sizeof (${SYMBOL}) == ${SYMBOL}Size,\n")
string (APPEND source "               \"${inputName} has ${byteCount} bytes; update ${HEADER}\");\n")
string (APPEND source "}\n")

file (WRITE "${OUTPUT}" "${source}")
