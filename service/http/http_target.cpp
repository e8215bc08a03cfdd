#include "service/http/http_target.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace cirrodex::service {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Decode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

Target::Target(std::string_view target) {
  const size_t question = target.find('?');
  path = Decode(target.substr(0, question), false);
  if (question == std::string_view::npos) return;
  std::string_view query = target.substr(question + 1);
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    const size_t equals = pair.find('=');
    std::string name = Decode(pair.substr(0, equals), true);
    std::string value =
        equals == std::string_view::npos ? "" : Decode(pair.substr(equals + 1), true);
    if (!name.empty()) params.emplace(std::move(name), std::move(value));
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
}

std::string Target::Param(const char* name) const {
  const auto found = params.find(name);
  return found == params.end() ? "" : found->second;
}

std::string UtcText(std::time_t t, const char* format) {
  std::tm gmt{};
  gmtime_r(&t, &gmt);
  char text[40];
  return std::strftime(text, sizeof text, format, &gmt) != 0 ? text : "";
}

std::string HttpDate(std::time_t t) { return UtcText(t, "%a, %d %b %Y %H:%M:%S GMT"); }

std::optional<std::time_t> ReadHttpDate(const std::string& text) {
  std::tm gmt{};
  const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &gmt);
  if (end == nullptr || *end != '\0') return std::nullopt;
  return timegm(&gmt);
}

bool NotModified(const Conditions& conditions, const std::string& etag, std::time_t since) {
  if (conditions.ifNoneMatch) {
    const std::string& tags = *conditions.ifNoneMatch;
    if (tags.find('*') != std::string::npos) return true;
    return tags.find(etag) != std::string::npos;
  }
  if (!conditions.ifModifiedSince) return false;
  const auto date = ReadHttpDate(*conditions.ifModifiedSince);
  return date && since <= *date;
}

std::optional<std::string> HostWithoutPort(std::string_view value) {
  size_t end = value.starts_with('[') ? value.find(']') : value.find(':');
  if (end != std::string_view::npos && value.starts_with('[')) ++end;
  std::string_view name = value.substr(0, end);
  std::string_view port = end == std::string_view::npos ? "" : value.substr(end);
  if (name.empty() || name == "[" || name.find_first_of(" \t/@") != std::string_view::npos) {
    return std::nullopt;
  }
  if (!port.empty()) {
    port.remove_prefix(1);
    if (value[end] != ':' || port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c); })) {
      return std::nullopt;
    }
  }
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace cirrodex::service
