#include "service/service_options.h"

#include <cstdlib>

#include "service/feeds/open_meteo.h"
#include "service/http/http_target.h"

#ifndef CIRRODEX_VERSION
#define CIRRODEX_VERSION "0"
#endif

namespace cirrodex::service {

namespace {

bool ReadCount(const char* text, long low, long high, int& value) {
  char* end = nullptr;
  const long number = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || number < low || number > high) return false;
  value = static_cast<int>(number);
  return true;
}

CommandLine Refuse(std::string problem) {
  return {CommandLine::Action::Refuse, std::move(problem)};
}

}  // namespace

bool ReadUpstream(const std::string& text, Upstream& upstream) {
  if (text == "none") {
    upstream = Upstream::None;
  } else if (text == "auto") {
    upstream = Upstream::Auto;
  } else if (text == "open-meteo") {
    upstream = Upstream::OpenMeteo;
  } else {
    return false;
  }
  return true;
}

std::string UpstreamUrlOf(const ServiceOptions& options) {
  return options.upstreamUrl.empty() ? std::string(kOpenMeteoUrl) : options.upstreamUrl;
}

std::string ModeLine(const ServiceOptions& options) {
  switch (options.upstream) {
    case Upstream::None:
      return "mode none: sample weather only (city names end in \" (sample)\"); no network";
    case Upstream::Auto:
      return "mode auto: live weather from " + UpstreamUrlOf(options) +
             ", sample weather (city names end in \" (sample)\") while it cannot be reached";
    case Upstream::OpenMeteo:
      return "mode open-meteo: live weather from " + UpstreamUrlOf(options) +
             " only; 503 while it cannot be reached and no answer of the last 24 hours is kept";
  }
  return "";
}

std::string ServiceUsage() {
  return R"usage(Usage: weather-service [--port N] [--data DIR] [--regions DIR]
                       [--upstream none|auto|open-meteo] [--upstream-url URL]
                       [--radar-url URL] [--imagery-url URL] [--faults]
                       [--idle-exit SECONDS] [--request-deadline MS] [--max-connections N]
                       [--allow-host NAME]... [--log] [--help] [--version]

The feed host and map host of Cirrodex, on 127.0.0.1 only.

  --port N       port to listen on (default 8611; 0 picks a free port)
  --data DIR     DIR/feeds/CODE.txt is sent as it is for that city code;
                 DIR/maps/brradar1.jpg and DIR/maps/brsat1.jpg replace the made-up maps;
                 a file over 1 MB, or one that is not a regular file (a symbolic link, a
                 FIFO, a folder), is refused with one line on stderr and counts as missing
  --regions DIR  region files of city codes (default: share/cirrodex/citycodes beside bin/);
                 links, FIFOs and files over 64 MB are refused the same way
  --upstream M   where the weather of the region files' cities comes from:
                   auto        live weather from the Open-Meteo forecast API when it answers,
                               else made-up weather (the default)
                   open-meteo  live weather only; 503 when there is none
                   none        made-up weather and made-up maps marked SAMPLE only;
                               never touches the network
                 with auto and open-meteo the maps are live (docs/MAPS.md)
  --upstream-url URL
                 the forecast API (default https://api.open-meteo.com/v1/forecast)
  --radar-url URL
                 the radar index, RainViewer's weather-maps.json (default
                 https://api.rainviewer.com/public/weather-maps.json); tiles come from the
                 host it names
  --imagery-url URL
                 the WMS endpoint of the satellite imagery and base map (default
                 https://gibs.earthdata.nasa.gov/wms/epsg3857/best/wms.cgi)
  --faults       make the misbehaviour query parameters below work (for tests; without it
                 they are ignored and the document is served as usual)
  --idle-exit SECONDS
                 exit after SECONDS without a request (0, the default: never)
  --request-deadline MS
                 a client must send its request line and headers within MS milliseconds
                 (default 10000), or its connection is closed
  --max-connections N
                 connections open at once (default 4096); one more is closed at once
  --allow-host NAME
                 answer requests whose Host is NAME (with or without a port) besides
                 127.0.0.1, localhost and [::1]; may be given more than once. Any other
                 Host gets 421 and costs no call of a source
  --log          one line per request on stderr
  --help         this text
  --version      the version

Once it accepts connections it prints "listening on http://127.0.0.1:PORT", then one line
saying which weather it serves, and later a line whenever live weather or the live maps
fail or come back.
Live weather is asked at most once per city per 15 minutes after a good answer; after a
failed one the city is asked again once the API's pause is over (Retry-After, else 5 minutes).
When the API cannot be reached, answers with weather more than 3 hours old, or says to wait
(Retry-After, the daily limit until 00:00 GMT), the last good answer of the last 24 hours is
served as it was (with its own update time).
Over all its clients the service makes at most 500 calls to Open-Meteo a minute, 4,000 an hour
and 8,000 a day (under the free API's 600, 5,000 and 10,000); the last quarter of each goes to
the cities asked for most often. Beyond it a city with an answer of the last 24 hours is served
that, others get made-up weather (auto) or 503 with Retry-After (open-meteo); the log says once
that the budget is spent.
Made-up weather is marked: its city name ends in " (sample)". SIGINT or SIGTERM stop it: it
accepts no more connections, finishes the answers under way for up to a second, then exits;
so does --idle-exit.
Started by systemd socket activation (LISTEN_FDS, LISTEN_PID), it serves the socket handed
to it and ignores --port, e.g. systemd-socket-activate -l 127.0.0.1:8611 weather-service.

A request line and headers over 8 KB get 414 or 431 and the connection is closed. Feeds and
maps carry Cache-Control: max-age (what is left of the 15 minutes a city's weather is fresh,
from the time of that weather; a made-up map: until the hour changes), Last-Modified (a feed:
the time of its weather) and ETag; If-None-Match and
If-Modified-Since are answered with 304, so a standard HTTP cache can stand in front.

Paths:
  GET /m/chnk/d/weather_d_src.asp?acid=CODE
      the feed of CODE: DIR/feeds/CODE.txt when present, else live or made-up weather (by
      --upstream) for every code of the region files; 503 when open-meteo has none; else 404
  GET /weather/hourly/CODE.json
      the next 48 hours, the sun of the feed's five days and the next two hours' rain of CODE
      in JSON, from the same live answer as its feed (or made up, "sample": true), dated and
      tagged as the feed
  GET /weather/live/radar/CODE.jpg, GET /weather/live/satellite/CODE.jpg
      400 x 300 JPEG pictures of the area of CODE (a code of the region files or a coordinate
      code such as N6965E01896): RainViewer radar over a NASA GIBS base map, and GIBS
      satellite imagery of the same box, each with a marker at the city and a credit line
      with the UTC time of the frame. When the sources fail, the last good picture of the
      area for up to 3 hours, then a made-up one with "SAMPLE" written across it; 404 for an
      unknown code; 503 with Retry-After while too many different pictures are being made
  GET /weather/live/brradar1.jpg, GET /weather/live/brsat1.jpg
      the same pictures of London's area (DIR/maps files replace them); any other path: 404

Misbehaviour on request, only with --faults, by query parameters on any path (they combine):
  status=N       answer with status N (200-599) and a short text body instead
  redirect=URL   answer 302 (or the 3xx given with status=) with "Location: URL"
  redirect=      the same redirect status without any "Location" header
  size=N         replace the body by N bytes "ABC...Z" repeated (size=0: empty body)
  binary=1       with size=N: byte i is i modulo 256 (bytes above 127 included)
  notjpeg=1      send a text body (still labelled image/jpeg) instead of the document
  stall=S        wait S seconds before answering at all
  stallbody=S    send the headers and the first half of the body, then wait S seconds
  slow=MS        send the body in 1024-byte pieces, MS milliseconds apart
  truncate=N     announce the whole body but close the connection after N bytes
Example: /m/chnk/d/weather_d_src.asp?acid=UKXX0085&size=70000&binary=1
)usage";
}

CommandLine ReadCommandLine(int argc, const char* const* argv, ServiceOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      return {CommandLine::Action::Print, ServiceUsage()};
    } else if (arg == "--version") {
      return {CommandLine::Action::Print, "weather-service " CIRRODEX_VERSION "\n"};
    } else if (arg == "--log") {
      options.logRequests = true;
    } else if (arg == "--faults") {
      options.faults = true;
    } else if (arg == "--idle-exit" && hasValue) {
      if (!ReadCount(argv[++i], 0, 86400 * 365, options.idleExitSeconds)) {
        return Refuse("--idle-exit takes a number of seconds");
      }
    } else if (arg == "--request-deadline" && hasValue) {
      if (!ReadCount(argv[++i], 1, 3600000, options.requestDeadlineMs)) {
        return Refuse("--request-deadline takes a number of milliseconds from 1");
      }
    } else if (arg == "--max-connections" && hasValue) {
      if (!ReadCount(argv[++i], 1, 1000000, options.maxConnections)) {
        return Refuse("--max-connections takes a number from 1");
      }
    } else if (arg == "--port" && hasValue) {
      if (!ReadCount(argv[++i], 0, 65535, options.port)) {
        return Refuse("--port takes a number from 0 to 65535");
      }
    } else if (arg == "--allow-host" && hasValue) {
      options.allowedHosts.push_back(argv[++i]);
      if (!HostWithoutPort(options.allowedHosts.back())) {
        return Refuse("--allow-host takes a host name, with or without a port");
      }
    } else if (arg == "--data" && hasValue) {
      options.dataDir = argv[++i];
    } else if (arg == "--regions" && hasValue) {
      options.regionsDir = argv[++i];
    } else if (arg == "--upstream" && hasValue) {
      if (!ReadUpstream(argv[++i], options.upstream)) {
        return Refuse("--upstream takes none, auto or open-meteo");
      }
    } else if (arg == "--upstream-url" && hasValue) {
      options.upstreamUrl = argv[++i];
      if (!options.upstreamUrl.starts_with("http://") &&
          !options.upstreamUrl.starts_with("https://")) {
        return Refuse("--upstream-url takes an http:// or https:// URL");
      }
    } else if ((arg == "--radar-url" || arg == "--imagery-url") && hasValue) {
      std::string& url = arg == "--radar-url" ? options.radarUrl : options.imageryUrl;
      url = argv[++i];
      if (!url.starts_with("http://") && !url.starts_with("https://")) {
        return Refuse(arg + " takes an http:// or https:// URL");
      }
    } else {
      return Refuse("unknown or incomplete argument: " + arg);
    }
  }
  return {};
}

}  // namespace cirrodex::service
