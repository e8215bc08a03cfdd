// Where the service's answers come from: feeds through the feed sources (the live one on a small
// worker pool, so that a slow forecast API never holds up the serving thread) and map pictures
// from the live sources on a pool of their own, from the data folder, or made once an hour.
#pragma once

#include <memory>
#include <string>
#include <utility>  // Boost 1.74's awaitable.hpp uses std::exchange without including it
// clang-format off
#include <boost/asio/awaitable.hpp>
#include <boost/asio/io_context.hpp>
// clang-format on

#include "service/feeds/feed_source.h"
#include "service/http/reply.h"
#include "service/maps/map_maker.h"
#include "service/service_options.h"

namespace cirrodex::service {

// Every call but the constructor's and the destructor's is made on the thread that runs `io`.
class Documents {
 public:
  // Reads the region files and sets up the sources the options name. `io` must outlive this.
  Documents(const ServiceOptions& options, boost::asio::io_context& io);
  // Waits for the workers' requests under way.
  ~Documents();
  Documents(const Documents&) = delete;
  Documents& operator=(const Documents&) = delete;

  size_t LocationCount() const;

  // The feed of `code` (letters and digits only). Requests for one city while the live source
  // is asked share one lookup, so a slow API holds at most one worker per city.
  // GCC 12 mishandles objects passed by value into coroutines, so answers are filled in through
  // references.
  boost::asio::awaitable<void> Feed(const std::string& code, FeedAnswer& answer);
  // The hourly document of `code`, from the same sources and answers as its feed.
  boost::asio::awaitable<void> Hourly(const std::string& code, FeedAnswer& answer);
  // The radar or satellite picture of the area of `code`: for an old fixed name (`legacy`) the
  // data folder's file when there is one; with live maps the picture LiveMaps makes on a worker
  // (equal requests share one job; with too many jobs under way `busySeconds` is set); without,
  // the made-up picture of the current UTC hour. `unknownCode` for a code no location has.
  boost::asio::awaitable<void> Map(MapKind kind, const std::string& code, bool legacy,
                                   MapPicture& picture);

 private:
  class Impl;
  const std::unique_ptr<Impl> impl_;
};

}  // namespace cirrodex::service
