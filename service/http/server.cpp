// One thread serves every socket (Boost.Beast on Boost.Asio, one coroutine per connection), so a
// slow or idle client costs a socket and a few kilobytes, never a thread. Whatever may block for
// long (the forecast API) runs on the documents' worker pool and hands its answer back to that
// thread. The session here only reads, writes and keeps deadlines; the request handler decides
// what to answer.
#include "service/http/server.h"

#include <sys/socket.h>

#include <utility>  // Boost 1.74's awaitable.hpp uses std::exchange without including it
// clang-format off
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
// clang-format on
#include <chrono>
#include <cstdio>
#include <ctime>
#include <list>
#include <memory>

#include "service/documents.h"
#include "service/http/paced_writer.h"
#include "service/http/request_handler.h"
#include "service/log_line.h"

namespace cirrodex::service {

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using net::awaitable;
using net::use_awaitable;

// Request line and headers together; a longer head is refused.
constexpr size_t kHeadLimit = 8 * 1024;
// A GET carries no body; this much is read and dropped rather than refused.
constexpr size_t kRequestBodyLimit = 8 * 1024;
// A stop lets the answers under way finish for this long, then cuts what is left.
constexpr auto kDrainTime = std::chrono::seconds(1);

}  // namespace

struct WeatherService::Impl {
  explicit Impl(ServiceOptions o)
      : options(std::move(o)),
        documents(options, io),
        handler(options.faults, options.allowedHosts) {}
  ~Impl() { io.stop(); }

  // A connection waiting for its next request: on a stop it is closed unless a request has
  // begun to arrive.
  struct Waiting {
    beast::tcp_stream* stream;
    const beast::flat_buffer* buffer;
  };

  const ServiceOptions options;
  // Touched only on the serving thread; they outlive the sessions' frames that `io` destroys.
  int connections = 0;
  std::chrono::steady_clock::time_point lastRequest = std::chrono::steady_clock::now();
  bool draining = false;
  std::list<Waiting> waiting;
  // Before the documents, whose waiting requests hold handlers of it.
  net::io_context io{1};
  Documents documents;
  RequestHandler handler;
  tcp::acceptor acceptor{io};

  awaitable<void> Accept();
  awaitable<void> Session(tcp::socket socket);
  awaitable<void> WatchIdle();
  void StartSession(tcp::socket socket);
  // Stops accepting (connections already queued are taken first), closes the connections that
  // wait with no request, lets the answers under way finish, and ends the loop when the last
  // connection is gone or kDrainTime has passed.
  void Drain();
  void EndWhenDrained();
};

void WeatherService::Impl::StartSession(tcp::socket socket) {
  beast::error_code ec;
  if (connections >= options.maxConnections) {
    socket.close(ec);
    return;
  }
  ++connections;
  net::co_spawn(io, Session(std::move(socket)), net::detached);
}

void WeatherService::Impl::Drain() {
  if (draining) return;
  draining = true;
  beast::error_code ec;
  if (acceptor.is_open()) {
    // Clients the kernel has already connected may have sent their requests: they are served.
    acceptor.non_blocking(true, ec);
    for (;;) {
      tcp::socket socket(io);
      acceptor.accept(socket, ec);
      if (ec) break;
      StartSession(std::move(socket));
    }
    acceptor.close(ec);
  }
  for (const Waiting& w : waiting) {
    if (w.buffer->size() == 0 && w.stream->socket().available(ec) == 0) w.stream->cancel();
  }
  auto deadline = std::make_shared<net::steady_timer>(io, kDrainTime);
  deadline->async_wait([this, deadline](beast::error_code) { io.stop(); });
  EndWhenDrained();
}

void WeatherService::Impl::EndWhenDrained() {
  if (draining && connections == 0) io.stop();
}

awaitable<void> WeatherService::Impl::Accept() {
  net::steady_timer pause(io);
  for (;;) {
    beast::error_code ec;
    tcp::socket socket = co_await acceptor.async_accept(net::redirect_error(use_awaitable, ec));
    if (ec) {
      if (!acceptor.is_open() || ec == net::error::operation_aborted) co_return;
      // Out of descriptors or memory: let the open connections finish before trying again.
      pause.expires_after(std::chrono::milliseconds(50));
      co_await pause.async_wait(net::redirect_error(use_awaitable, ec));
      continue;
    }
    StartSession(std::move(socket));
  }
}

awaitable<void> WeatherService::Impl::WatchIdle() {
  const auto idle = std::chrono::seconds(options.idleExitSeconds);
  net::steady_timer timer(io);
  for (;;) {
    timer.expires_at(lastRequest + idle);
    beast::error_code ec;
    co_await timer.async_wait(net::redirect_error(use_awaitable, ec));
    if (std::chrono::steady_clock::now() - lastRequest >= idle) {
      Drain();
      co_return;
    }
  }
}

awaitable<void> WeatherService::Impl::Session(tcp::socket socket) {
  struct Count {
    Impl& impl;
    ~Count() {
      --impl.connections;
      impl.EndWhenDrained();
    }
  } count{*this};
  beast::error_code ec;
  socket.set_option(tcp::no_delay(true), ec);
  beast::tcp_stream stream(std::move(socket));
  beast::flat_buffer buffer(kHeadLimit + kRequestBodyLimit);
  const Misbehaviour none;
  std::optional<Reply> refusal;
  try {
    for (;;) {
      http::request_parser<http::empty_body> parser;
      parser.header_limit(kHeadLimit);
      parser.body_limit(kRequestBodyLimit);
      stream.expires_after(std::chrono::milliseconds(options.requestDeadlineMs));
      if (draining && buffer.size() == 0 && stream.socket().available(ec) == 0) break;
      const auto wait = waiting.insert(waiting.end(), Waiting{&stream, &buffer});
      co_await http::async_read(stream, buffer, parser, net::redirect_error(use_awaitable, ec));
      waiting.erase(wait);
      if (ec) {
        const bool lineEnded = !parser.get().target().empty();
        refusal = RequestHandler::Refusal(ec, lineEnded);
        if (refusal) co_await WriteReply(stream, *refusal, false, false, none);
        break;
      }

      lastRequest = std::chrono::steady_clock::now();
      const Request request = parser.release();
      Exchange exchange = handler.Begin(request);
      if (exchange.m.stallSeconds > 0) {
        net::steady_timer stall(io, std::chrono::seconds(exchange.m.stallSeconds));
        co_await stall.async_wait(use_awaitable);
      }
      Reply reply;
      if (exchange.need == Exchange::Need::Nothing) {
        reply = std::move(exchange.reply);
      } else {
        Fetched fetched;
        if (exchange.need == Exchange::Need::Feed) {
          co_await documents.Feed(exchange.code, fetched.feed);
        } else if (exchange.need == Exchange::Need::Hourly) {
          co_await documents.Hourly(exchange.code, fetched.feed);
        } else {
          co_await documents.Map(exchange.map, exchange.code, exchange.legacyMap, fetched.map);
        }
        reply = handler.Finish(exchange, fetched, std::time(nullptr));
      }
      if (options.logRequests) {
        std::fprintf(
            stderr, "%s %s -> %d\n", std::string(request.method_string()).c_str(),
            LogSafe(std::string_view(request.target().data(), request.target().size())).c_str(),
            reply.status);
      }
      // Once the service is stopping, this answer is the connection's last.
      const bool keepAlive = exchange.keepAlive && !draining;
      const bool written = co_await WriteReply(stream, reply, exchange.head, keepAlive, exchange.m);
      if (!written || !keepAlive) break;
    }
  } catch (const std::exception&) {
    // A failed allocation or write ends this connection only.
  }
  stream.socket().shutdown(tcp::socket::shutdown_send, ec);
}

WeatherService::WeatherService(ServiceOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

WeatherService::~WeatherService() { impl_->io.stop(); }

size_t WeatherService::LocationCount() const { return impl_->documents.LocationCount(); }

int WeatherService::Bind(std::string& error) {
  tcp::acceptor& acceptor = impl_->acceptor;
  beast::error_code ec;
  if (impl_->options.listenFd >= 0) {
    const int fd = impl_->options.listenFd;
    int listening = 0;
    socklen_t size = sizeof listening;
    if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening == 0) {
      error = "the socket handed over (descriptor " + std::to_string(fd) + ") is not listening";
      return -1;
    }
    int family = AF_INET;
    size = sizeof family;
    getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &family, &size);
    acceptor.assign(family == AF_INET6 ? tcp::v6() : tcp::v4(), fd, ec);
    const auto local = ec ? tcp::endpoint() : acceptor.local_endpoint(ec);
    if (ec) {
      error = "the socket handed over cannot be used: " + ec.message();
      return -1;
    }
    return local.port();
  }
  const int port = impl_->options.port;
  if (port < 0 || port > 65535) {
    error = "port " + std::to_string(port) + " is out of range";
    return -1;
  }
  // Address reuse only, so that a second service cannot share the port and take half the
  // requests.
  const tcp::endpoint where(net::ip::address_v4::loopback(), static_cast<unsigned short>(port));
  acceptor.open(where.protocol(), ec);
  if (!ec) acceptor.set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) acceptor.bind(where, ec);
  if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
  const auto local = ec ? tcp::endpoint() : acceptor.local_endpoint(ec);
  if (ec) {
    acceptor.close(ec);
    error = "cannot listen on 127.0.0.1:" + std::to_string(port) +
            " (is another service running there?)";
    return -1;
  }
  return local.port();
}

bool WeatherService::Serve() {
  Impl& impl = *impl_;
  if (!impl.acceptor.is_open() || impl.io.stopped()) return false;
  net::co_spawn(impl.io, impl.Accept(), net::detached);
  if (impl.options.idleExitSeconds > 0) net::co_spawn(impl.io, impl.WatchIdle(), net::detached);
  impl.io.run();
  return true;
}

void WeatherService::Stop() {
  Impl& impl = *impl_;
  net::post(impl.io, [&impl] { impl.Drain(); });
}

}  // namespace cirrodex::service
