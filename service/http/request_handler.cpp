#include "service/http/request_handler.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
// clang-format off
#include <boost/asio/error.hpp>
#include <boost/beast/http/error.hpp>
// clang-format on

#include "service/feeds/hourly_weather.h"
#include "service/maps/map_routes.h"

namespace cirrodex::service {

namespace {

namespace http = boost::beast::http;

constexpr size_t kMaxCodeLength = 16;

bool IsCityCode(const std::string& code) {
  return !code.empty() && code.size() <= kMaxCodeLength &&
         std::all_of(code.begin(), code.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0; });
}

// City codes are matched without regard to case, as the registry does.
std::string UpperCase(std::string code) {
  for (char& c : code) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return code;
}

std::optional<std::string> Header(const Request& request, http::field field) {
  const auto found = request.find(field);
  if (found == request.end()) return std::nullopt;
  return std::string(found->value());
}

}  // namespace

RequestHandler::RequestHandler(bool faults, std::vector<std::string> allowedHosts)
    : faults_(faults) {
  for (const std::string& name :
       {std::string("127.0.0.1"), std::string("localhost"), std::string("[::1]")}) {
    allowedHosts_.push_back(name);
  }
  for (const std::string& given : allowedHosts) {
    if (auto name = HostWithoutPort(given)) allowedHosts_.push_back(*name);
  }
}

bool RequestHandler::HostAllowed(const Request& request) const {
  const auto found = request.find(http::field::host);
  if (found == request.end()) return true;
  const auto name = HostWithoutPort(std::string_view(found->value().data(), found->value().size()));
  return name &&
         std::find(allowedHosts_.begin(), allowedHosts_.end(), *name) != allowedHosts_.end();
}

std::optional<Reply> RequestHandler::Refusal(const boost::beast::error_code& error,
                                             bool lineEnded) {
  if (error == http::error::header_limit || error == boost::asio::error::message_size ||
      error == http::error::buffer_overflow) {
    // A request line that does not end within the limit is a target too long to read.
    return lineEnded ? Text(431, "request headers too large\n")
                     : Text(414, "request target too long\n");
  }
  if (error == http::error::body_limit || error == http::error::unexpected_body) {
    return Text(413, "a request body is not accepted here\n");
  }
  if (error == http::error::bad_target || error == http::error::bad_method ||
      error == http::error::bad_version || error == http::error::bad_field ||
      error == http::error::bad_value || error == http::error::bad_line_ending ||
      error == http::error::bad_content_length || error == http::error::bad_transfer_encoding ||
      error == http::error::bad_chunk || error == http::error::bad_obs_fold) {
    return Text(400, "bad request\n");
  }
  return std::nullopt;
}

Exchange RequestHandler::Begin(const Request& request) const {
  Exchange exchange;
  exchange.head = request.method() == http::verb::head;
  exchange.keepAlive = request.keep_alive();
  if (!HostAllowed(request)) {
    exchange.reply = Text(421, "only local callers are answered here (see --allow-host)\n");
    return exchange;
  }
  if (request.method() != http::verb::get && !exchange.head) {
    exchange.reply = Text(405, "only GET and HEAD are answered\n");
    return exchange;
  }
  const Target target(std::string_view(request.target().data(), request.target().size()));
  if (faults_) exchange.m = ReadMisbehaviour(target);
  // A cut body can only be told from a whole one by the connection closing.
  if (exchange.m.truncateAt) exchange.keepAlive = false;
  if (auto instead = ReplyInstead(exchange.m)) {
    exchange.reply = std::move(*instead);
    return exchange;
  }
  exchange.conditions.ifNoneMatch = Header(request, http::field::if_none_match);
  exchange.conditions.ifModifiedSince = Header(request, http::field::if_modified_since);
  if (target.path == kFeedPath) {
    exchange.code = UpperCase(target.Param(kFeedCodeParam));
    if (!IsCityCode(exchange.code)) {
      exchange.reply = Text(404, "unknown city code\n");
      return exchange;
    }
    exchange.need = Exchange::Need::Feed;
    exchange.edition = "feed " + exchange.code;
  } else if (const std::string hourly = HourlyCodeOfPath(target.path); !hourly.empty()) {
    exchange.code = hourly;
    if (!IsCityCode(exchange.code)) {
      exchange.reply = Text(404, "unknown city code\n");
      return exchange;
    }
    exchange.need = Exchange::Need::Hourly;
    exchange.edition = target.path;
  } else if (auto route = ReadMapRoute(target.path)) {
    exchange.need = Exchange::Need::Map;
    exchange.map = route->kind;
    exchange.code = UpperCase(route->code);
    exchange.legacyMap = route->legacy;
    exchange.edition = target.path;
  } else if (target.path.starts_with(kRadarMapPrefix) ||
             target.path.starts_with(kSatelliteMapPrefix)) {
    exchange.reply = Text(404, "unknown city code\n");
  } else {
    exchange.reply = Text(404, "not found\n");
  }
  return exchange;
}

Reply RequestHandler::Finish(const Exchange& exchange, Fetched& fetched, std::time_t now) {
  Reply reply;
  if (exchange.need == Exchange::Need::Feed || exchange.need == Exchange::Need::Hourly) {
    FeedAnswer& feed = fetched.feed;
    if (feed.status == FeedAnswer::Status::Served) {
      reply.body = std::move(feed.document);
      if (exchange.need == Exchange::Need::Hourly) reply.type = "application/json";
      if (feed.updated != 0) {
        StampWeather(reply, feed.updated);
      } else {
        Stamp(exchange.edition, reply, now, 0);
      }
    } else if (feed.status == FeedAnswer::Status::Unavailable) {
      reply = Text(503, "live weather is unavailable\n");
      reply.retryAfter = feed.retryAfter;
    } else {
      reply = Text(404, "unknown city code\n");
    }
  } else if (exchange.need == Exchange::Need::Map) {
    if (fetched.map.unknownCode) {
      reply = Text(404, "unknown city code\n");
    } else if (fetched.map.busySeconds > 0) {
      reply = Text(503, "too many map pictures are being made; ask again later\n");
      reply.retryAfter = fetched.map.busySeconds;
    } else if (fetched.map.jpeg.empty()) {
      reply = Text(500, "the map picture could not be made\n");
    } else {
      reply.type = "image/jpeg";
      reply.body = std::move(fetched.map.jpeg);
      Stamp(exchange.edition, reply, now, fetched.map.freshUntil);
    }
  } else {
    return exchange.reply;
  }
  ChangeBody(exchange.m, reply);
  if (reply.cacheable && NotModified(exchange.conditions, reply.etag, reply.since)) {
    reply.status = 304;
    reply.body.clear();
  }
  return reply;
}

void RequestHandler::StampWeather(Reply& reply, std::time_t updated) {
  char tag[24];
  std::snprintf(tag, sizeof tag, "\"%016llx\"", static_cast<unsigned long long>(Fnv1a(reply.body)));
  reply.cacheable = true;
  reply.etag = tag;
  reply.since = updated;
  reply.freshUntil = updated + kFreshness;
}

void RequestHandler::Stamp(const std::string& edition, Reply& reply, std::time_t now,
                           std::time_t freshUntil) {
  const uint64_t fingerprint = Fnv1a(reply.body);
  Edition& known = editions_[edition];
  if (known.since == 0 || known.fingerprint != fingerprint) known = {fingerprint, now};
  char tag[24];
  std::snprintf(tag, sizeof tag, "\"%016llx\"", static_cast<unsigned long long>(fingerprint));
  reply.cacheable = true;
  reply.etag = tag;
  reply.since = known.since;
  reply.freshUntil = freshUntil != 0 ? freshUntil : known.since + kFreshness;
}

}  // namespace cirrodex::service
