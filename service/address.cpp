#include "service/address.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace cirrodex {

int ServicePort(std::string* ignored) {
  const char* text = std::getenv(kServicePortVariable);
  if (text == nullptr || *text == '\0') return kDefaultServicePort;
  const char* end = text + std::strlen(text);
  int port = 0;
  const auto [stop, error] = std::from_chars(text, end, port);
  if (error == std::errc() && stop == end && port > 0 && port < 65536) return port;
  if (ignored != nullptr) {
    *ignored = std::string(kServicePortVariable) + "=" + text +
               " is no port from 1 to 65535; using " + std::to_string(kDefaultServicePort);
  }
  return kDefaultServicePort;
}

std::string ServiceOrigin(int port) { return "http://127.0.0.1:" + std::to_string(port); }

}  // namespace cirrodex
