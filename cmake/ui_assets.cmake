# Compiles the web UI's production build into the executable as constant data.
# By default the build runs here, in the build folder: npm ci when the lock file
# changes, Vite when the UI sources change. A packager may instead point
# NODECONSOLE_UI_DIST at a prebuilt dist folder, and then needs no Node.js.
# After Vite, ui/scripts/compress.mjs writes each text file's .gz and .br
# copies into the dist folder; a prebuilt folder carries them the same way, and
# a file without them is embedded and served uncompressed.
set(NODECONSOLE_UI_DIST "" CACHE PATH "Prebuilt web UI folder to embed instead of building ui/")

set(UI_SOURCE_DIR ${CMAKE_SOURCE_DIR}/ui)
set(UI_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${UI_GENERATED_DIR})

if(NODECONSOLE_UI_DIST)
  get_filename_component(UI_DIST_DIR ${NODECONSOLE_UI_DIST} ABSOLUTE)
  file(GLOB_RECURSE UI_DIST_INPUTS CONFIGURE_DEPENDS ${UI_DIST_DIR}/*)
  set(UI_MODULES_DIR "")
else()
  find_program(NODE_EXECUTABLE node REQUIRED)
  find_program(NPM_EXECUTABLE npm REQUIRED)
  set(UI_WORK_DIR ${CMAKE_BINARY_DIR}/ui)
  set(UI_DIST_DIR ${UI_WORK_DIR}/dist)
  set(UI_MODULES_DIR ${UI_WORK_DIR}/node_modules)
  file(MAKE_DIRECTORY ${UI_WORK_DIR})

  add_custom_command(
    OUTPUT ${UI_WORK_DIR}/npm-ci.stamp
    COMMAND ${CMAKE_COMMAND} -E copy ${UI_SOURCE_DIR}/package.json ${UI_SOURCE_DIR}/package-lock.json ${UI_WORK_DIR}
    COMMAND ${NPM_EXECUTABLE} ci --no-audit --no-fund --loglevel=error
    COMMAND ${CMAKE_COMMAND} -E touch ${UI_WORK_DIR}/npm-ci.stamp
    DEPENDS ${UI_SOURCE_DIR}/package.json ${UI_SOURCE_DIR}/package-lock.json
    WORKING_DIRECTORY ${UI_WORK_DIR}
    COMMENT "Installing the web UI's npm packages"
    VERBATIM)

  # Vite runs on a copy of the sources so that nothing it makes lands in the
  # source tree; the copy is made afresh so that deleted sources disappear.
  file(GLOB_RECURSE UI_SOURCES CONFIGURE_DEPENDS ${UI_SOURCE_DIR}/src/* ${UI_SOURCE_DIR}/public/*)
  list(APPEND UI_SOURCES ${UI_SOURCE_DIR}/index.html ${UI_SOURCE_DIR}/vite.config.js)
  add_custom_command(
    OUTPUT ${UI_WORK_DIR}/dist.stamp
    COMMAND ${CMAKE_COMMAND} -E rm -rf src public dist
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${UI_SOURCE_DIR}/src src
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${UI_SOURCE_DIR}/public public
    COMMAND ${CMAKE_COMMAND} -E copy ${UI_SOURCE_DIR}/index.html ${UI_SOURCE_DIR}/vite.config.js .
    COMMAND ${NODE_EXECUTABLE} node_modules/vite/bin/vite.js build --outDir dist --logLevel warn
    COMMAND ${NODE_EXECUTABLE} ${UI_SOURCE_DIR}/scripts/compress.mjs dist
    COMMAND ${CMAKE_COMMAND} -E touch dist.stamp
    DEPENDS ${UI_SOURCES} ${UI_SOURCE_DIR}/scripts/compress.mjs ${UI_WORK_DIR}/npm-ci.stamp
    WORKING_DIRECTORY ${UI_WORK_DIR}
    COMMENT "Building the web UI"
    VERBATIM)
  set(UI_DIST_INPUTS ${UI_WORK_DIR}/dist.stamp)
endif()

add_custom_command(
  OUTPUT ${UI_GENERATED_DIR}/ui_files_data.S ${UI_GENERATED_DIR}/ui_files_table.cpp
  COMMAND ${CMAKE_COMMAND} -DUI_DIST_DIR=${UI_DIST_DIR} -DOUTPUT_DIR=${UI_GENERATED_DIR}
          -P ${CMAKE_SOURCE_DIR}/cmake/ui_embed.cmake
  DEPENDS ${UI_DIST_INPUTS} ${CMAKE_SOURCE_DIR}/cmake/ui_embed.cmake
  COMMENT "Embedding the web UI"
  VERBATIM)

set(UI_ASSET_SOURCES ${UI_GENERATED_DIR}/ui_files_data.S ${UI_GENERATED_DIR}/ui_files_table.cpp)
set(UI_ASSET_DEPENDS "")
