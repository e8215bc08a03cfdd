#include "service/http/paced_writer.h"

#include <algorithm>
#include <chrono>
#include <ctime>
// clang-format off
#include <boost/asio.hpp>
#include <boost/beast/http.hpp>
// clang-format on

#include "service/http/http_target.h"

namespace cirrodex::service {

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using net::use_awaitable;

constexpr size_t kPiece = 1024;
// A client that does not take an answer within this is dropped.
constexpr auto kWriteDeadline = std::chrono::seconds(30);

http::response<http::empty_body> Head(const Reply& reply, bool keepAlive) {
  const std::time_t now = std::time(nullptr);
  http::response<http::empty_body> header{static_cast<http::status>(reply.status), 11};
  header.set(http::field::date, HttpDate(now));
  header.set(http::field::content_type, reply.type);
  if (reply.hasLocation) header.set(http::field::location, reply.location);
  if (reply.retryAfter > 0) header.set(http::field::retry_after, std::to_string(reply.retryAfter));
  if (reply.cacheable) {
    const std::time_t left = std::max<std::time_t>(0, reply.freshUntil - now);
    header.set(http::field::cache_control, "max-age=" + std::to_string(left));
    header.set(http::field::last_modified, HttpDate(reply.since));
    header.set(http::field::etag, reply.etag);
  }
  if (reply.status != 304) header.content_length(reply.body.size());
  header.keep_alive(keepAlive);
  return header;
}

}  // namespace

net::awaitable<bool> WriteReply(beast::tcp_stream& stream, const Reply& reply, bool head,
                                bool keepAlive, const Misbehaviour& m) {
  beast::error_code ec;
  stream.expires_after(kWriteDeadline);
  http::response<http::empty_body> header = Head(reply, keepAlive);
  http::response_serializer<http::empty_body> serializer{header};
  co_await http::async_write_header(stream, serializer, net::redirect_error(use_awaitable, ec));
  if (ec || head || reply.status == 304) co_return !ec;

  const std::string& body = reply.body;
  if (!m.Paced()) {
    co_await net::async_write(stream, net::buffer(body), net::redirect_error(use_awaitable, ec));
    co_return !ec;
  }
  const size_t end =
      m.truncateAt ? std::min(body.size(), static_cast<size_t>(*m.truncateAt)) : body.size();
  const size_t half = body.size() / 2;
  bool stalled = m.stallBodySeconds == 0;
  net::steady_timer pause(stream.get_executor());
  for (size_t offset = 0; offset < end || !stalled;) {
    if (!stalled && offset >= half) {
      stalled = true;
      pause.expires_after(std::chrono::seconds(m.stallBodySeconds));
      co_await pause.async_wait(net::redirect_error(use_awaitable, ec));
      continue;
    }
    size_t next = m.slowMs > 0 ? std::min(end, offset + kPiece) : end;
    if (!stalled) next = std::min(next, half);
    stream.expires_after(kWriteDeadline);
    co_await net::async_write(stream, net::buffer(body.data() + offset, next - offset),
                              net::redirect_error(use_awaitable, ec));
    if (ec) co_return false;
    offset = next;
    if (m.slowMs > 0 && offset < end) {
      pause.expires_after(std::chrono::milliseconds(m.slowMs));
      co_await pause.async_wait(net::redirect_error(use_awaitable, ec));
    }
  }
  co_return true;
}

}  // namespace cirrodex::service
