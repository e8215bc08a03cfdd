// Turns a request into an answer without any I/O: the session reads the request, fetches the
// document the handler names, and writes what the handler makes of it.
#pragma once

#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
// clang-format off
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
// clang-format on

#include "service/feeds/feed_source.h"
#include "service/http/faults.h"
#include "service/http/http_target.h"
#include "service/http/reply.h"
#include "service/maps/map_maker.h"

namespace cirrodex::service {

using Request = boost::beast::http::request<boost::beast::http::empty_body>;

// One request on its way to its answer.
struct Exchange {
  enum class Need { Nothing, Feed, Map, Hourly };
  Need need = Need::Nothing;
  std::string code;              // Need::Feed, Need::Hourly, Need::Map: the city code
  MapKind map = MapKind::Radar;  // Need::Map
  bool legacyMap = false;        // Need::Map: an old fixed name, which the data folder may hold
  Misbehaviour m;                // what it asks for; nothing without `faults`
  bool head = false;             // answer with the head only
  bool keepAlive = false;        // the connection stays open after the answer
  Reply reply;                   // Need::Nothing: the answer
  std::string edition;           // whose editions date and tag the document
  Conditions conditions;
};

// What the session fetched for an exchange's need.
struct Fetched {
  FeedAnswer feed;  // Need::Feed, Need::Hourly
  MapPicture map;
};

class RequestHandler {
 public:
  // `faults`: the misbehaviour query parameters are obeyed. Requests are answered only when
  // their Host names this machine (127.0.0.1, localhost, [::1]) or one of `allowedHosts`, with or
  // without a port, so that a web page whose name was made to point here cannot use the service;
  // a request without Host comes from no browser and is answered.
  explicit RequestHandler(bool faults, std::vector<std::string> allowedHosts = {});

  // The answer to a request that could not be read, by the parser's error (`lineEnded`: the
  // parser holds a request line); the connection closes after it. Nullopt when there is nobody
  // to answer: the client is gone or too slow.
  static std::optional<Reply> Refusal(const boost::beast::error_code& error, bool lineEnded);

  // What `request` needs before it can be answered; its answer already when it needs nothing.
  Exchange Begin(const Request& request) const;

  // The answer of an exchange that needed a document, made from what was fetched at `now`.
  Reply Finish(const Exchange& exchange, Fetched& fetched, std::time_t now);

 private:
  // Dates and tags the body of a 200 answer. A document is as old as the first answer that
  // carried it; its fingerprint is the tag. Fresh until `freshUntil`, or kFreshness after that
  // first answer when 0.
  void Stamp(const std::string& edition, Reply& reply, std::time_t now, std::time_t freshUntil);
  // Dates and tags a feed by the time of the weather it carries: modified then, fresh for
  // kFreshness from then (not from when it is served), so a kept or late answer is not passed
  // off as new. Keeps no edition, so that ever new city codes leave nothing behind.
  static void StampWeather(Reply& reply, std::time_t updated);

  struct Edition {
    uint64_t fingerprint = 0;
    std::time_t since = 0;
  };

  bool HostAllowed(const Request& request) const;

  const bool faults_;
  std::vector<std::string> allowedHosts_;  // lower case, without a port
  std::map<std::string, Edition> editions_;
};

}  // namespace cirrodex::service
