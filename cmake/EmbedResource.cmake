# Run as a script: cmake -DINPUT=<file> -DOUTPUT=<.cpp> -DTYPE=<type> -DNAME=<name> -P EmbedResource.cmake
# Writes a source file that holds the input's bytes and links them into the
# crash reporter's resource table before main.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(size EQUAL 0)
    set(bytes "0")
else()
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    # Sixteen bytes a line keep the generated file readable.
    string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
endif()
file(WRITE "${OUTPUT}" "// Generated from ${INPUT}; do not edit.
#include \"crashreport/diagnostics/zorTools.h\"

namespace {
const uint8_t Bytes[] = {
    ${bytes}
};
TZorResource Resource{u\"${TYPE}\", u\"${NAME}\", Bytes, ${size}};
const bool Registered = (RegisterZorResource(Resource), true);
} // namespace
")
