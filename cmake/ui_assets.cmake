# Embeds the web UI build into the executable. Until the UI exists the table is empty.
set(UI_ASSET_SOURCES ${CMAKE_BINARY_DIR}/generated/ui_files_data.cpp)
set(UI_ASSET_DEPENDS "")
file(WRITE ${CMAKE_BINARY_DIR}/generated/ui_files_data.cpp
"#include \"src/ui_files.h\"\nnamespace nc {\nstd::span<const UiFile> uiFiles() { return {}; }\n}\n")
