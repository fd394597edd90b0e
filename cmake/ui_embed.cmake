# Run with cmake -P at build time, once the web UI build exists:
#   cmake -DUI_DIST_DIR=<dist> -DOUTPUT_DIR=<dir> -P ui_embed.cmake
# Writes ui_files_data.S, which pulls every file of the build into .rodata with
# .incbin, and ui_files_table.cpp, which lists them for nc::uiFiles(). The file
# list is only known after the UI build, which is why this runs as a build step
# and not at configure time.
cmake_minimum_required(VERSION 3.25)

function(contentTypeOf path result)
  string(REGEX MATCH "\\.[^./]+$" extension "${path}")
  string(TOLOWER "${extension}" extension)
  set(types
    .html text/html .js application/javascript .mjs application/javascript .css text/css
    .json application/json .txt text/plain .svg image/svg+xml .webp image/webp .ico image/x-icon
    .png image/png .jpg image/jpeg .jpeg image/jpeg .woff2 font/woff2 .woff font/woff
    .webmanifest application/manifest+json)
  list(FIND types "${extension}" index)
  if(index EQUAL -1 OR extension STREQUAL "")
    set(${result} application/octet-stream PARENT_SCOPE)
  else()
    math(EXPR index "${index} + 1")
    list(GET types ${index} type)
    set(${result} ${type} PARENT_SCOPE)
  endif()
endfunction()

# Quotes text for a C++ string literal or an assembler string.
function(quoted text result)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${result} "\"${text}\"" PARENT_SCOPE)
endfunction()

if(NOT IS_DIRECTORY "${UI_DIST_DIR}")
  message(FATAL_ERROR "web UI build folder not found: ${UI_DIST_DIR}")
endif()
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${UI_DIST_DIR}" "${UI_DIST_DIR}/*")
# Source maps only help a developer's debugger; the gateway never serves them.
list(FILTER files EXCLUDE REGEX "\\.map$")
list(SORT files)
if(NOT "index.html" IN_LIST files)
  message(FATAL_ERROR "web UI build has no index.html: ${UI_DIST_DIR}")
endif()

# Sizes are size_t on the C++ side, so they take the width of a pointer.
set(assembly "/* Generated from ${UI_DIST_DIR}; do not edit. */
#if defined(__LP64__)
#define NC_SIZE .quad
#else
#define NC_SIZE .long
#endif
  .section .rodata.nc_ui_files,\"a\"\n")
set(declarations "")
set(entries "")
set(index 0)
set(total 0)
foreach(path IN LISTS files)
  set(symbol nc_ui_file_${index})
  quoted("${UI_DIST_DIR}/${path}" source)
  string(APPEND assembly
    "  .balign 16\n  .globl ${symbol}\n  .hidden ${symbol}\n${symbol}:\n  .incbin ${source}\n${symbol}_end:\n"
    "  .balign 8\n  .globl ${symbol}_size\n  .hidden ${symbol}_size\n${symbol}_size:\n"
    "  NC_SIZE ${symbol}_end - ${symbol}\n")
  string(APPEND declarations "extern \"C\" const char ${symbol}[];\nextern \"C\" const std::size_t ${symbol}_size;\n")
  contentTypeOf("${path}" type)
  quoted("${path}" pathLiteral)
  string(APPEND entries "      {${pathLiteral}, \"${type}\", {${symbol}, ${symbol}_size}},\n")
  file(SIZE "${UI_DIST_DIR}/${path}" size)
  math(EXPR total "${total} + ${size}")
  message(STATUS "web UI: ${path} ${type} ${size} bytes")
  math(EXPR index "${index} + 1")
endforeach()
message(STATUS "web UI: ${index} files, ${total} bytes in all")
# Without this note the linker would mark the whole executable's stack executable.
string(APPEND assembly "  .section .note.GNU-stack,\"\",%progbits\n")

file(WRITE "${OUTPUT_DIR}/ui_files_data.S" "${assembly}")
file(WRITE "${OUTPUT_DIR}/ui_files_table.cpp"
"// Generated from ${UI_DIST_DIR}; do not edit.
#include <cstddef>

#include \"src/ui_files.h\"

${declarations}
namespace nc {

std::span<const UiFile> uiFiles() {
  static const UiFile files[] = {
${entries}  };
  return files;
}

}  // namespace nc
")
