// The fetch's URL handling without a network: the "Location: " search in raw header text and the
// URL splitter, whose parts go into the request line. The first byte chooses what the rest is:
// 0 raw header text, 1 a URL of bytes (as a header hands it over), 2 a UTF-8 URL, 3 a URL of
// little-endian 32-bit characters.
#include <cstddef>
#include <cstdint>
#include <cwctype>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "tests/fuzz/fuzz_device.h"
#include "update/http_fetch.h"

namespace {

using cirrodex::HttpUrl;
using cirrodex::fuzzing::Fail;

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

// A split URL must be safe to put into a request line, and splitting it again as written must
// give the same parts.
void CheckSplit(const HttpUrl& parts) {
  const std::string& host = parts.host;
  if (host.empty()) Fail("empty host");
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') Fail("unclosed IPv6 literal");
    for (char c : host.substr(1, host.size() - 2)) {
      if (!std::iswxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') {
        Fail("bad character in an IPv6 literal");
      }
    }
  } else {
    for (char c : host) {
      if (!IsHostChar(c)) Fail("bad character in a host");
    }
  }
  if (parts.port == 0) Fail("port 0");
  if (parts.path.empty() || parts.path.front() != '/') Fail("path without a leading slash");
  for (char c : parts.path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == '#') Fail("unsafe character in a path");
  }

  const std::string again = "http://" + host + ":" + std::to_string(parts.port) + parts.path;
  HttpUrl split;
  if (!cirrodex::SplitHttpUrl(std::wstring(again.begin(), again.end()), split)) {
    Fail("a split URL does not split again");
  }
  if (split.host != parts.host || split.port != parts.port || split.path != parts.path) {
    Fail("splitting again changed the parts");
  }
}

void Split(std::wstring_view url) {
  HttpUrl parts;
  if (cirrodex::SplitHttpUrl(url, parts)) CheckSplit(parts);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] & 3) {
    case 0: {
      std::wstring location;
      if (!cirrodex::FindLocation(bytes, location)) {
        if (bytes.find("Location: ") != std::string_view::npos) Fail("Location: missed");
        return 0;
      }
      if (location.find(L'\n') != std::wstring::npos) Fail("line feed in a location");
      Split(location);
      break;
    }
    case 1:
      Split(std::wstring(bytes.begin(), bytes.end()));
      break;
    case 2:
      Split(cirrodex::platform::FromUtf8(bytes));
      break;
    default: {
      std::wstring url;
      for (size_t i = 0; i + 3 < bytes.size(); i += 4) {
        url +=
            static_cast<wchar_t>(static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) |
                                 static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8 |
                                 static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 2])) << 16 |
                                 static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 3])) << 24);
      }
      Split(url);
      break;
    }
  }
  return 0;
}
