#include "server/static_files.h"

#include <array>
#include <memory>
#include <string>

#include "server/router.h"
#include "transport/content_coding.h"
#include "transport/entity_tag.h"

namespace nc {
namespace {

// Files under assets/ carry the build's content hash in their names: a
// changed file gets a new name, so a browser may keep these for a year
// without asking again.
constexpr std::string_view hashedFolder = "assets/";
constexpr std::string_view immutable = "public, max-age=31536000, immutable";
// Everything else, index.html first, keeps its name across builds; the
// browser revalidates it on each use, which its ETag makes a 304 of a few
// hundred bytes.
constexpr std::string_view revalidate = "no-cache";

// The head fields of a file's replies, one set per coding: the same for
// every request, so they are made once, when the file is mounted, rather
// than per reply (bench/profile.sh counted a third of an index.html reply's
// instructions in filling and capitalising them).
struct ReplyFields {
  PreparedHeaders ok;           // a 200's
  PreparedHeaders notModified;  // a 304's, the same but for the type
};

struct StaticFile {
  UiVariant identity;
  UiVariant gzip;
  UiVariant brotli;
  // Indexed by ContentCoding.
  std::array<ReplyFields, 3> fields;
};

using FileRouter = Router<StaticFile>;

const UiVariant& variantOf(const StaticFile& file, ContentCoding coding) {
  switch (coding) {
    case ContentCoding::brotli: return file.brotli;
    case ContentCoding::gzip: return file.gzip;
    case ContentCoding::identity: break;
  }
  return file.identity;
}

// A 200's headers, and a 304's, which are the same but for the type (a cache
// refreshes its stored reply's with them): no type when `contentType` is empty.
HttpHeaders replyHeaders(std::string_view contentType, std::string_view cacheControl, const StaticFile& file,
                         ContentCoding coding) {
  const UiVariant& variant = variantOf(file, coding);
  HttpHeaders headers;
  if (!contentType.empty()) headers.set("content-type", std::string(contentType));
  if (coding != ContentCoding::identity) headers.set("content-encoding", std::string(contentCodingName(coding)));
  // A file with compressed copies answers differently by Accept-Encoding,
  // even when this reply is the plain one, and a shared cache must know.
  if (!file.gzip.content.empty() || !file.brotli.content.empty()) headers.set("vary", std::string("Accept-Encoding"));
  headers.set("cache-control", std::string(cacheControl));
  if (!variant.etag.empty()) headers.set("etag", std::string(variant.etag));
  return headers;
}

StaticFile staticFile(std::string_view contentType, std::string_view cacheControl, UiVariant identity, UiVariant gzip,
                      UiVariant brotli) {
  StaticFile file{identity, gzip, brotli, {}};
  for (ContentCoding coding : {ContentCoding::brotli, ContentCoding::gzip, ContentCoding::identity}) {
    file.fields[static_cast<size_t>(coding)] = {PreparedHeaders(replyHeaders(contentType, cacheControl, file, coding)),
                                                PreparedHeaders(replyHeaders({}, cacheControl, file, coding))};
  }
  return file;
}

StaticFile staticFileOf(const UiFile& file) {
  const bool hashed = file.path.starts_with(hashedFolder);
  return staticFile(file.contentType, hashed ? immutable : revalidate, {file.content, file.etag}, file.gzip,
                    file.brotli);
}

bool readsOnly(HttpMethod method) { return method == HttpMethod::HttpGet || method == HttpMethod::HttpHead; }

asio::awaitable<void> serveFile(std::shared_ptr<Session> session, std::shared_ptr<FileRouter> files) {
  const StaticFile& file = route(files, session->path).first;
  const HttpRequest& request = session->request;
  const ContentCoding coding = chooseContentCoding(request.headers.get("accept-encoding"),
                                                   !file.gzip.content.empty(), !file.brotli.content.empty());
  const UiVariant& variant = variantOf(file, coding);
  const ReplyFields& fields = file.fields[static_cast<size_t>(coding)];
  const HeaderValues* noneMatch = request.headers.get("if-none-match");
  if (readsOnly(request.reqMethod) && noneMatch != nullptr && !variant.etag.empty() &&
      noneMatchNames(*noneMatch, variant.etag)) {
    co_await respondHeadOnly(*session, 304, std::nullopt, fields.notModified);
    co_return;
  }
  // The files lie in the executable's read-only data: a large one leaves with
  // sendfile() from there (the writer answers HEAD with the head alone).
  co_await respondEmbedded(*session, 200, variant.content, fields.ok);
}

}  // namespace

Handler embeddedFileHandler(std::span<const UiFile> files) {
  auto router = newRouter<StaticFile>(staticFile("text/plain", revalidate, {}, {}, {}));
  for (const UiFile& file : files) {
    if (file.path == "index.html")
      setDefault(router, staticFileOf(file));
    else
      mount(router, file.path, staticFileOf(file));
  }
  return [router](std::shared_ptr<Session> session) { return serveFile(session, router); };
}

}  // namespace nc
