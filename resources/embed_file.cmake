# Turns one binary file into a C++ source that defines a byte array, at build time.
# Inputs: IN (the file), OUT (the .cpp to write), SYMBOL (the array's name).
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR byte_count "${hex_length} / 2")
# Sixteen bytes per line keeps the generated file readable in a debugger.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUT}.tmp"
    "// Generated from ${IN}; do not edit.\n"
    "#include <cstddef>\n"
    "namespace morvek2::detail {\n"
    "extern const unsigned char ${SYMBOL}[];\n"
    "extern const std::size_t ${SYMBOL}_size;\n"
    "alignas(4) const unsigned char ${SYMBOL}[] = {\n${bytes}0x00};\n"
    "const std::size_t ${SYMBOL}_size = ${byte_count};\n"
    "} // namespace morvek2::detail\n")
file(RENAME "${OUT}.tmp" "${OUT}")
