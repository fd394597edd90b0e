// Serves a constant table of files from memory under one mount point.
#pragma once

#include <span>

#include "server/http_server.h"
#include "server/embedded_files.h"

namespace nc {

// A handler answering every path with the deepest matching file, and every
// path that names none with "index.html". The table must outlive the handler.
Handler embeddedFileHandler(std::span<const UiFile> files);

}  // namespace nc
