# cmake -DIN=<file> -DOUT=<cpp> -DSYMBOL=<name> -P EmbedResource.cmake
# Writes a C++ source holding the file's bytes as `SYMBOL` and its size as `SYMBOL_size`.
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
# 32 bytes a line keeps the generated file readable and the regex work per line small.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUT}.tmp"
"// Generated from ${IN}; do not edit.
#include <cstddef>
extern const unsigned char ${SYMBOL}[];
extern const std::size_t ${SYMBOL}_size;
// One byte more than the file so that an empty file still gives a valid array.
const unsigned char ${SYMBOL}[] = {
${bytes}0x00};
const std::size_t ${SYMBOL}_size = ${size};
")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
