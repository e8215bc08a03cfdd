#include "service/http/faults.h"

#include <algorithm>
#include <cstdlib>

namespace cirrodex::service {

namespace {

constexpr long kMaxDelaySeconds = 3600;
constexpr long kMaxBodySize = 16 * 1024 * 1024;

std::optional<long> NumberParam(const Target& target, const char* name, long low, long high) {
  if (!target.Has(name)) return std::nullopt;
  const std::string text = target.Param(name);
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0') return std::nullopt;
  return std::clamp(value, low, high);
}

std::string Pattern(long size, bool binary) {
  std::string body(static_cast<size_t>(size), '\0');
  for (size_t i = 0; i < body.size(); ++i) {
    body[i] = binary ? static_cast<char>(i % 256) : static_cast<char>('A' + i % 26);
  }
  return body;
}

}  // namespace

Misbehaviour ReadMisbehaviour(const Target& target) {
  Misbehaviour m;
  if (auto status = NumberParam(target, "status", 200, 599)) m.status = static_cast<int>(*status);
  if (target.Has("redirect")) m.redirect = target.Param("redirect");
  m.size = NumberParam(target, "size", 0, kMaxBodySize);
  m.binary = target.Param("binary") == "1";
  m.notJpeg = target.Param("notjpeg") == "1";
  m.stallSeconds = NumberParam(target, "stall", 0, kMaxDelaySeconds).value_or(0);
  m.stallBodySeconds = NumberParam(target, "stallbody", 0, kMaxDelaySeconds).value_or(0);
  m.slowMs = NumberParam(target, "slow", 0, kMaxDelaySeconds * 1000).value_or(0);
  m.truncateAt = NumberParam(target, "truncate", 0, kMaxBodySize);
  return m;
}

std::optional<Reply> ReplyInstead(const Misbehaviour& m) {
  if (m.redirect) {
    Reply reply =
        Text(m.status && *m.status >= 300 && *m.status < 400 ? *m.status : 302, "redirected\n");
    reply.hasLocation = !m.redirect->empty();
    reply.location = *m.redirect;
    return reply;
  }
  if (m.status && *m.status != 200) {
    return Text(*m.status, "status " + std::to_string(*m.status) + " on request\n");
  }
  return std::nullopt;
}

void ChangeBody(const Misbehaviour& m, Reply& reply) {
  if (reply.status != 200 || !m.ChangesBody()) return;
  if (m.size) reply.body = Pattern(*m.size, m.binary);
  if (m.notJpeg) reply.body = "This is not a JPEG picture.\n";
  reply.cacheable = false;
}

}  // namespace cirrodex::service
