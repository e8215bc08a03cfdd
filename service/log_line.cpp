#include "service/log_line.h"

#include <cstdio>

namespace cirrodex::service {

std::string LogSafe(std::string_view text) {
  std::string safe;
  safe.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      safe += escaped;
    } else if (c == '\\') {
      safe += "\\\\";
    } else {
      safe += c;
    }
  }
  return safe;
}

}  // namespace cirrodex::service
