#include "transport/request_reader.h"

#include <array>
#include <chrono>
#include <exception>
#include <optional>
#include <string_view>

#include <asio/experimental/awaitable_operators.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "transport/ascii_case.h"
#include "transport/reply_writing.h"
#include "transport/request_parsing.h"

namespace nc {
namespace {

// What a refused client still sends is dropped by the kernel without being
// copied out (MSG_TRUNC), up to this much per call. Copied out 4000 bytes at
// a time, as requests are read, the bytes of 1000 clients each sending 254 KB
// after their refusal kept the one thread so busy that /health on a
// kept-alive connection took 0.9 s (median); dropped in the kernel, 4 ms on
// the same loaded machine. Only TLS connections, whose bytes must be
// decrypted to be dropped, write here, and nothing ever reads it, so all
// connections share it.
std::array<char, 64 * 1024> droppedInput;

// What becomes of the connection after a refusal.
enum class AfterRefusal { proceed, nextRequest, close };

// A refused request whose end is known leaves the connection to the next
// request. Where its end is unknown, or the client may still be sending what
// was refused, nothing after it can be trusted to start a request (RFC 7230
// section 3.3.3), so the connection closes.
AfterRefusal afterRefusal(Refusal refusal) {
  switch (refusal) {
    // The request is still read and handed on, as after "100 Continue".
    case Refusal::expectationFailed:
      return AfterRefusal::proceed;
    case Refusal::badRequestLine:
    case Refusal::lengthRequired:
    case Refusal::bodyShorterThanLength:
      return AfterRefusal::nextRequest;
    case Refusal::lineTooLong:
    case Refusal::repeatedHost:
    case Refusal::headersTooLarge:
    case Refusal::headerMemoryExhausted:
    case Refusal::transferEncoding:
    case Refusal::lengthAndEncoding:
    case Refusal::unreadableLength:
    case Refusal::bodyTooLarge:
      return AfterRefusal::close;
  }
  return AfterRefusal::close;
}

// Owns everything one connection needs between requests: the request record,
// the line and read buffers and the deadline, all reused request after request.
class RequestReader {
 public:
  RequestReader(RequestLimits limits, std::shared_ptr<const HttpCallback> callback,
                std::shared_ptr<Connection> connection, std::string peerAddress);
  ~RequestReader();
  RequestReader(const RequestReader&) = delete;
  RequestReader& operator=(const RequestReader&) = delete;

  asio::awaitable<void> run();

 private:
  enum class Outcome { proceed, nextRequest, stop };
  using Clock = std::chrono::steady_clock;

  RequestLimits limits_;
  std::shared_ptr<const HttpCallback> callback_;
  std::shared_ptr<Connection> connection_;
  std::string peerAddress_;
  HttpRequest request_;
  LineScanner scanner_;
  LineStatus lineStatus_ = LineStatus::incomplete;  // of the line in scanner_
  std::array<char, readBufferSize> buffer_{};
  std::string_view pending_;  // read but not yet consumed, inside buffer_
  Clock::time_point deadline_ = Clock::time_point::max();
  asio::steady_timer timer_;
  bool awaitingFirstByte_ = true;
  // Set by the first read that finds the stream ended or failed. Asio's
  // reactor then stops trying reads at once and waits for the socket to report
  // new input, which an ended stream never does: a second read would hang
  // until a deadline. So nothing is read after the end.
  bool endOfStream_ = false;
  size_t headerCharge_ = 0;  // of the current request, also charged to limits_.headerMemory
  size_t headerValues_ = 0;  // of the current request
  HeaderMemory::Share headerShare_;
  IdleConnections::Slot idleSlot_;
  std::exception_ptr failure_;

  asio::awaitable<void> serveRequests();
  asio::awaitable<void> watchdog();
  void setDeadline(Clock::time_point deadline);
  asio::awaitable<bool> serveOne();
  void startRequest();
  asio::awaitable<Outcome> readRequestLine();
  asio::awaitable<Outcome> readHeaders();
  std::optional<Refusal> takeHeaderLine(std::string_view line);
  std::optional<Refusal> chargeHeaderLine(std::string_view line);
  std::optional<Refusal> framingRefusal() const;
  void releaseHeaders();
  bool announcesBodyOverLimit() const;
  asio::awaitable<void> answerExpectation();
  asio::awaitable<Outcome> readBody();
  asio::awaitable<bool> readBodyBytes(size_t length);
  bool startLine();
  asio::awaitable<Outcome> finishLine();
  void take(size_t got);
  asio::awaitable<Outcome> refuse(Refusal refusal);
  asio::awaitable<void> lingerAndClose();
};

RequestReader::RequestReader(RequestLimits limits, std::shared_ptr<const HttpCallback> callback,
                             std::shared_ptr<Connection> connection, std::string peerAddress)
    : limits_(limits),
      callback_(std::move(callback)),
      connection_(std::move(connection)),
      peerAddress_(std::move(peerAddress)),
      timer_(connection_->socket().get_executor(), Clock::time_point::max()),
      headerShare_(*connection_, request_.headers),
      idleSlot_(*connection_) {}

RequestReader::~RequestReader() {
  releaseHeaders();
  if (limits_.idleConnections) limits_.idleConnections->leave(idleSlot_);
}

asio::awaitable<void> RequestReader::run() {
  using namespace asio::experimental::awaitable_operators;
  co_await (serveRequests() || watchdog());
  connection_->close();
  if (failure_) std::rethrow_exception(failure_);
}

asio::awaitable<void> RequestReader::serveRequests() {
  // When the watchdog ends first, operator || cancels this branch, and by
  // default the next co_await here would throw "Operation aborted": a reply
  // still owed at the deadline would turn the deadline into a failure that
  // the service prints as unexpected. The watchdog has closed the connection
  // by then, so every wait below ends at once and the loop stops by itself.
  co_await asio::this_coro::throw_if_cancelled(false);
  // Operator || waits for the first branch to succeed: a failure escaping here
  // would leave the connection to the watchdog alone, so it is kept for run().
  try {
    bool more = true;
    while (more && !connection_->isClosed()) more = co_await serveOne();
  } catch (...) {
    failure_ = std::current_exception();
  }
}

// Sleeps until the timer fires and closes the connection if the deadline has
// really passed by then; otherwise the deadline moved on and it sleeps again.
// Only setDeadline brings the timer closer, so a reader that keeps moving its
// deadline later costs no timer changes at all.
asio::awaitable<void> RequestReader::watchdog() {
  auto cancellation = co_await asio::this_coro::cancellation_state;
  for (;;) {
    std::error_code moved;
    co_await timer_.async_wait(asio::redirect_error(asio::use_awaitable, moved));
    if (cancellation.cancelled() != asio::cancellation_type::none) co_return;
    if (moved) continue;
    if (deadline_ <= Clock::now()) break;
    timer_.expires_at(deadline_);
  }
  connection_->close();
}

void RequestReader::setDeadline(Clock::time_point deadline) {
  deadline_ = deadline;
  // A later deadline needs no wake-up: the watchdog sees it when its timer fires.
  // Moving the timer closer cuts the watchdog's wait short.
  if (deadline < timer_.expiry()) timer_.expires_at(deadline);
}

// Reads one request, hands it over and decides whether the connection goes
// on. Reading is not a coroutine of its own: that would cost a frame per request.
// With the other spared frames (startLine, the tests for an expectation and a
// body below, the status-less respondJson), callgrind counts about 1,100
// fewer instructions per GET /health (8,523 against 9,605 with each of them a
// coroutine) and more for a request with more header lines; in bench/run.sh
// over ten rounds the two builds' throughput is level (1.00 and 0.98), the
// kernel's share of each request being larger than the difference.
asio::awaitable<bool> RequestReader::serveOne() {
  startRequest();
  Outcome outcome = co_await readRequestLine();
  if (outcome == Outcome::proceed) outcome = co_await readHeaders();
  if (outcome != Outcome::proceed) co_return outcome == Outcome::nextRequest;
  // Most requests have neither an expectation nor a body: testing for them
  // here spares two coroutine frames.
  const bool isPost = request_.reqMethod == HttpMethod::HttpPost;
  if (isPost && request_.headers.contains("expect")) co_await answerExpectation();
  if (isPost || request_.headers.contains("content-length")) outcome = co_await readBody();
  if (outcome != Outcome::proceed) co_return outcome == Outcome::nextRequest;
  // Nothing here takes over an upgraded connection, so it is closed rather than left open unread.
  connection_->setClosesAfterReply(request_.headers.hasValue("connection", "upgrade") ||
                                   !keepsAlive(request_.protocol, request_.headers));
  // A handler may rightly wait long for a slow service command.
  setDeadline(Clock::time_point::max());
  co_await (*callback_)(request_);
  if (connection_->closesAfterReply()) connection_->close();
  co_return !connection_->isClosed();
}

void RequestReader::startRequest() {
  request_.client = connection_;
  connection_->setAnsweringHead(false);
  connection_->setClosesAfterReply(false);
  request_.peerAddress = peerAddress_;
  request_.headers.clear();
  releaseHeaders();
  request_.body.clear();
  // Bytes of the next request may already be buffered: its clock is running.
  awaitingFirstByte_ = pending_.empty();
  setDeadline(Clock::now() + (awaitingFirstByte_ ? limits_.idleTimeout : limits_.requestTimeout));
}

asio::awaitable<RequestReader::Outcome> RequestReader::readRequestLine() {
  Outcome outcome = Outcome::proceed;
  if (!startLine()) outcome = co_await finishLine();
  // One empty line before a request is tolerated (RFC 7230 section 3.5).
  if (outcome == Outcome::proceed && scanner_.line() == "\r\n" && !startLine()) outcome = co_await finishLine();
  if (outcome != Outcome::proceed) co_return outcome;
  if (!applyRequestLine(scanner_.line(), request_)) co_return co_await refuse(Refusal::badRequestLine);
  connection_->setAnsweringHead(request_.reqMethod == HttpMethod::HttpHead);
  co_return Outcome::proceed;
}

asio::awaitable<RequestReader::Outcome> RequestReader::readHeaders() {
  for (;;) {
    Outcome outcome = Outcome::proceed;
    if (!startLine()) outcome = co_await finishLine();
    if (outcome != Outcome::proceed) co_return outcome;
    const std::string& line = scanner_.line();
    if (line == "\r\n") break;
    if (auto refusal = takeHeaderLine(line)) co_return co_await refuse(*refusal);
  }
  if (limits_.headerMemory) limits_.headerMemory->complete(headerShare_);
  if (auto refusal = framingRefusal()) co_return co_await refuse(*refusal);
  co_return Outcome::proceed;
}

// Stores one header line, unless it is refused. Which of two Host lines
// names the service would be anybody's guess, whatever the two say.
std::optional<Refusal> RequestReader::takeHeaderLine(std::string_view line) {
  if (equalsIgnoreCase(headerName(line), "host") && request_.headers.contains("host")) return Refusal::repeatedHost;
  if (auto refusal = chargeHeaderLine(line)) return refusal;
  parseHeader(line, request_.headers);
  return std::nullopt;
}

// Charges the memory `line` will take, before it is stored, to this request
// and to the server's total.
std::optional<Refusal> RequestReader::chargeHeaderLine(std::string_view line) {
  const HeaderLineCharge charge = headerLineCharge(line);
  if (headerCharge_ + charge.bytes > maxHeaderMemory || headerValues_ + charge.values > maxHeaderValues) {
    return Refusal::headersTooLarge;
  }
  if (limits_.headerMemory && !limits_.headerMemory->charge(headerShare_, charge.bytes)) {
    return Refusal::headerMemoryExhausted;
  }
  headerCharge_ += charge.bytes;
  headerValues_ += charge.values;
  return std::nullopt;
}

// A body framed by Transfer-Encoding is never read: where it ends is not
// known here, and whatever the client sent as that body must not be taken for
// a request of its own. With a Content-Length as well, the two framings may
// disagree on where the body ends.
std::optional<Refusal> RequestReader::framingRefusal() const {
  if (!request_.headers.contains("transfer-encoding")) return std::nullopt;
  return request_.headers.contains("content-length") ? Refusal::lengthAndEncoding : Refusal::transferEncoding;
}

// Called once the headers are gone or going: the request record's clear frees them.
void RequestReader::releaseHeaders() {
  if (limits_.headerMemory) limits_.headerMemory->release(headerShare_);
  headerCharge_ = 0;
  headerValues_ = 0;
}

// Whether the Content-Length, if it is readable, passes the body limit.
bool RequestReader::announcesBodyOverLimit() const {
  const auto* lengthValues = request_.headers.get("content-length");
  int64_t length = 0;
  return lengthValues != nullptr && !lengthValues->empty() && parseNatural(lengthValues->front(), length) != 0 &&
         length > limits_.maxBody;
}

// For a POST with an Expect header.
asio::awaitable<void> RequestReader::answerExpectation() {
  if (request_.headers.hasValue("expect", "100-continue")) {
    // A body that readBody will refuse is not asked for: the 413 comes at once.
    if (!announcesBodyOverLimit()) co_await sendStatus(*connection_, "100 Continue");
  } else {
    co_await refuse(Refusal::expectationFailed);
  }
}

// For a POST or a request with a Content-Length header.
asio::awaitable<RequestReader::Outcome> RequestReader::readBody() {
  const auto* lengthValues = request_.headers.get("content-length");
  if (lengthValues == nullptr) co_return co_await refuse(Refusal::lengthRequired);
  int64_t length = 0;
  if (lengthValues->empty() || parseNatural(lengthValues->front(), length) == 0) {
    co_return co_await refuse(Refusal::unreadableLength);
  }
  if (length > limits_.maxBody) co_return co_await refuse(Refusal::bodyTooLarge);
  bool complete = co_await readBodyBytes(static_cast<size_t>(length));
  if (complete) co_return Outcome::proceed;
  co_return co_await refuse(Refusal::bodyShorterThanLength);
}

// Takes what the line reads left over, then reads the rest straight into the
// body. False if the peer closed first.
asio::awaitable<bool> RequestReader::readBodyBytes(size_t length) {
  std::string& body = request_.body;
  std::string_view buffered = pending_.substr(0, length);
  body.assign(buffered);
  pending_.remove_prefix(buffered.size());
  if (body.size() == length) co_return true;
  size_t have = body.size();
  if (endOfStream_) co_return false;
  body.resize(length);
  std::error_code error;
  while (have < length && !error) {
    have += co_await connection_->readSome(asio::buffer(body.data() + have, length - have), error);
  }
  endOfStream_ = static_cast<bool>(error);
  body.resize(have);
  co_return body.size() == length;
}

// Starts the next line with what is buffered. True when the line is there
// whole, as it mostly is: then no coroutine frame is spent on it.
bool RequestReader::startLine() {
  scanner_.start();
  lineStatus_ = scanner_.feed(pending_);
  return lineStatus_ == LineStatus::complete;
}

// Reads the rest of the line startLine began. Closes the connection at end of
// stream and refuses a line that is too long.
asio::awaitable<RequestReader::Outcome> RequestReader::finishLine() {
  while (lineStatus_ != LineStatus::complete) {
    if (lineStatus_ == LineStatus::tooLong) co_return co_await refuse(Refusal::lineTooLong);
    // Read here rather than in a coroutine of its own: this wait comes once
    // per request, for the next request's first bytes.
    // Waiting for a new request's first byte, the connection is among those
    // the server may close when it runs out of descriptors.
    const bool idle = awaitingFirstByte_ && limits_.idleConnections;
    if (idle) limits_.idleConnections->enter(idleSlot_);
    std::error_code error;
    size_t got = 0;
    if (!endOfStream_) {
      got = co_await connection_->readSome(asio::buffer(buffer_), error);
      endOfStream_ = got == 0;
    }
    if (idle) limits_.idleConnections->leave(idleSlot_);
    // Closed meanwhile, by a deadline or to make room for another's headers:
    // what was read of the line is nobody's business any more.
    if (connection_->isClosed()) co_return Outcome::stop;
    // Any read error ends the connection, as the end of the stream does.
    if (got == 0) {
      // At the end of the stream whatever was read so far is the line.
      if (!scanner_.line().empty()) co_return Outcome::proceed;
      connection_->close();
      co_return Outcome::stop;
    }
    take(got);
    lineStatus_ = scanner_.feed(pending_);
  }
  co_return Outcome::proceed;
}

// The `got` bytes just read into buffer_ become the pending input; a
// request's clock starts with its first byte.
void RequestReader::take(size_t got) {
  pending_ = std::string_view(buffer_.data(), got);
  if (awaitingFirstByte_) {
    awaitingFirstByte_ = false;
    setDeadline(Clock::now() + limits_.requestTimeout);
  }
}

// Every refusal goes out here; then the connection goes on or closes. A
// request that goes no further gives its header memory back first, and a
// connection that closes its line's too: the reply may wait long for a
// client that does not read.
asio::awaitable<RequestReader::Outcome> RequestReader::refuse(Refusal refusal) {
  const AfterRefusal next = afterRefusal(refusal);
  if (next != AfterRefusal::proceed) {
    request_.headers.clear();
    releaseHeaders();
  }
  if (next == AfterRefusal::close) scanner_ = LineScanner();
  co_await writeRefusal(*connection_, refusal);
  switch (next) {
    case AfterRefusal::proceed:
      co_return Outcome::proceed;
    case AfterRefusal::nextRequest:
      co_return Outcome::nextRequest;
    case AfterRefusal::close:
      co_await lingerAndClose();
      co_return Outcome::stop;
  }
  co_return Outcome::stop;
}

// Closing a socket with unread input makes the kernel answer with a reset,
// which can reach the client before the error reply and destroy it there.
// So after the reply and our end of the stream, a client still sending what
// was refused is read and dropped for a moment before the socket is closed.
// One with nothing more on its way is closed at once: its descriptor goes
// back now rather than after that moment.
asio::awaitable<void> RequestReader::lingerAndClose() {
  std::error_code error;
  connection_->finishSending();
  const bool stillSending = connection_->socket().available(error) > 0;
  setDeadline(Clock::now() + lingerTimeout);
  size_t drained = 0;
  while (stillSending && !endOfStream_ && !connection_->isClosed() && drained < maxLingerBytes) {
    size_t got = co_await connection_->discardSome(asio::buffer(droppedInput), error);
    endOfStream_ = got == 0;
    drained += got;
  }
  connection_->close();
}

}  // namespace

asio::awaitable<void> serveConnection(RequestLimits limits, std::shared_ptr<const HttpCallback> callback,
                                      std::shared_ptr<Connection> connection, std::string peerAddress) {
  RequestReader reader(limits, std::move(callback), std::move(connection), std::move(peerAddress));
  co_await reader.run();
}

}  // namespace nc
