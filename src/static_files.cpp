#include "src/static_files.h"

#include <memory>
#include <string>

#include "server/router.h"

namespace nc {
namespace {

struct StaticFile {
  std::string_view contentType;
  std::string_view content;
};

using FileRouter = Router<StaticFile>;

asio::awaitable<void> serveFile(std::shared_ptr<Session> session, std::shared_ptr<FileRouter> files) {
  StaticFile file = route(files, session->path).first;
  HttpHeaders headers{{"content-type", std::string(file.contentType)}};
  co_await respond(*session, 200, file.content, headers);
}

}  // namespace

Handler embeddedFileHandler(std::span<const UiFile> files) {
  auto router = newRouter<StaticFile>(StaticFile{"text/plain", {}});
  for (const UiFile& file : files) {
    if (file.path == "index.html")
      setDefault(router, StaticFile{file.contentType, file.content});
    else
      mount(router, file.path, StaticFile{file.contentType, file.content});
  }
  return [router](std::shared_ptr<Session> session) { return serveFile(session, router); };
}

}  // namespace nc
