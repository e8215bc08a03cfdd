// Writes a reply to a connection, at the pace and to the length the fault switches ask for.
#pragma once

#include <utility>  // Boost 1.74's awaitable.hpp uses std::exchange without including it
// clang-format off
#include <boost/asio/awaitable.hpp>
#include <boost/beast/core/tcp_stream.hpp>
// clang-format on

#include "service/http/faults.h"
#include "service/http/reply.h"

namespace cirrodex::service {

// Sends the head of `reply` (with Date, and the validators and max-age of a cacheable one) and,
// unless `head` is set or it is a 304, the body: whole, or paced and cut as `m` says. Each write
// must finish within 30 seconds. False when the connection failed or timed out.
boost::asio::awaitable<bool> WriteReply(boost::beast::tcp_stream& stream, const Reply& reply,
                                        bool head, bool keepAlive, const Misbehaviour& m);

}  // namespace cirrodex::service
