# embed_text.cmake - writes the bytes of INPUT into OUTPUT as the C++
# definition of `const char NAME[]` (zero-terminated) and `NAME_size`.
# Run at build time by sheetprint/CMakeLists.txt, so that an edited
# docs/FORMAT.md is built into the next sheetprint without a new cmake run.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# 16 bytes to a line: a newline after every 32 hex digits, kept between
# the pairs that become character literals.
string(REGEX REPLACE "(................................)" "\\1\n    " hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
file(WRITE "${OUTPUT}"
  "// Generated from ${INPUT} by embed_text.cmake; do not edit.\n"
  "#include <cstddef>\n"
  "extern const char ${NAME}[] = {\n    ${bytes}'\\0'};\n"
  "extern const size_t ${NAME}_size = ${size};\n")
