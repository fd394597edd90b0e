# Run with cmake -P at build time, once the web UI build exists:
#   cmake -DUI_DIST_DIR=<dist> -DOUTPUT_DIR=<dir> -P ui_embed.cmake
# Writes ui_files_data.S, which pulls every file of the build, and its .gz and
# .br copies when the build made them, into .rodata with .incbin, and ui_files_table.cpp, which lists them for nc::uiFiles(). The file
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

# Appends one file's bytes to the assembly under `symbol`, with its size.
macro(embedFile file symbol)
  quoted("${file}" source)
  string(APPEND assembly
    "  .balign 16\n  .globl ${symbol}\n  .hidden ${symbol}\n${symbol}:\n  .incbin ${source}\n${symbol}_end:\n"
    "  .balign 8\n  .globl ${symbol}_size\n  .hidden ${symbol}_size\n${symbol}_size:\n"
    "  NC_SIZE ${symbol}_end - ${symbol}\n")
  string(APPEND declarations "extern \"C\" const char ${symbol}[];\nextern \"C\" const std::size_t ${symbol}_size;\n")
  file(SIZE "${file}" size)
  math(EXPR total "${total} + ${size}")
endmacro()

# A strong entity tag made from the bytes themselves, so that each encoding of
# a file has its own and a rebuilt file with the same bytes keeps it. 80 bits
# of SHA-256 keep a collision among the build's few dozen files out of reach.
function(entityTagOf file result)
  file(SHA256 "${file}" hash)
  string(SUBSTRING "${hash}" 0 20 hash)
  set(${result} "\\\"${hash}\\\"" PARENT_SCOPE)
endfunction()

# The C++ initialiser of one variant, {content, tag}, or {} when the build
# has no such copy of the file. A macro sets its caller's variables, hence
# names of its own.
macro(variantEntry path suffix symbol result)
  if(EXISTS "${UI_DIST_DIR}/${path}${suffix}")
    embedFile("${UI_DIST_DIR}/${path}${suffix}" ${symbol})
    entityTagOf("${UI_DIST_DIR}/${path}${suffix}" variantTag)
    set(${result} "{{${symbol}, ${symbol}_size}, \"${variantTag}\"}")
  else()
    set(${result} "{}")
  endif()
endmacro()

if(NOT IS_DIRECTORY "${UI_DIST_DIR}")
  message(FATAL_ERROR "web UI build folder not found: ${UI_DIST_DIR}")
endif()
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${UI_DIST_DIR}" "${UI_DIST_DIR}/*")
# Source maps only help a developer's debugger; the gateway never serves them.
# The .gz and .br copies are embedded with the file they encode.
list(FILTER files EXCLUDE REGEX "\\.(map|gz|br)$")
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
  embedFile("${UI_DIST_DIR}/${path}" ${symbol})
  set(originalSize ${size})
  entityTagOf("${UI_DIST_DIR}/${path}" tag)
  variantEntry("${path}" .gz ${symbol}_gz gzipEntry)
  variantEntry("${path}" .br ${symbol}_br brotliEntry)
  contentTypeOf("${path}" type)
  quoted("${path}" pathLiteral)
  string(APPEND entries
    "      {${pathLiteral}, \"${type}\", {${symbol}, ${symbol}_size}, \"${tag}\", ${gzipEntry}, ${brotliEntry}},\n")
  message(STATUS "web UI: ${path} ${type} ${originalSize} bytes")
  math(EXPR index "${index} + 1")
endforeach()
message(STATUS "web UI: ${index} files, ${total} bytes in all with their compressed copies")
# The gateway's flash holds the executable; the web UI may take this much of
# it. Over it the build goes on, so that every other test still runs, and the
# test uiFiles.tableShape fails on the same budget.
set(maxEmbeddedBytes 1400000)
if(total GREATER maxEmbeddedBytes)
  message(WARNING "web UI: ${total} bytes embedded, over the ${maxEmbeddedBytes}-byte budget")
endif()
# Without this note the linker would mark the whole executable's stack executable.
string(APPEND assembly "  .section .note.GNU-stack,\"\",%progbits\n")

file(WRITE "${OUTPUT_DIR}/ui_files_data.S" "${assembly}")
file(WRITE "${OUTPUT_DIR}/ui_files_table.cpp"
"// Generated from ${UI_DIST_DIR}; do not edit.
#include <cstddef>

#include \"server/embedded_files.h\"

${declarations}
namespace nc {

std::span<const UiFile> uiFiles() {
  static const UiFile files[] = {
${entries}  };
  return files;
}

}  // namespace nc
")
