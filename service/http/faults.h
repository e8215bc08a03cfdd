// The misbehaviour a request may ask for with query parameters when the service runs with
// `faults`, so that every failure path of a download can be driven end to end.
#pragma once

#include <optional>
#include <string>

#include "service/http/http_target.h"
#include "service/http/reply.h"

namespace cirrodex::service {

// Numbers out of range are clamped into it; a parameter that is not a number is ignored.
struct Misbehaviour {
  std::optional<int> status;            // 200-599
  std::optional<std::string> redirect;  // empty: a redirect status without "Location"
  std::optional<long> size;             // bytes of the replacement body
  bool binary = false;
  bool notJpeg = false;
  long stallSeconds = 0;      // before answering at all
  long stallBodySeconds = 0;  // after the first half of the body
  long slowMs = 0;            // between 1024-byte pieces of the body
  std::optional<long> truncateAt;

  bool ChangesBody() const { return size || notJpeg; }
  bool Paced() const { return stallBodySeconds > 0 || slowMs > 0 || truncateAt; }
};

Misbehaviour ReadMisbehaviour(const Target& target);

// The answer that replaces the document when `m` asks for a status or a redirect; nullopt when
// the document is answered.
std::optional<Reply> ReplyInstead(const Misbehaviour& m);

// Replaces the body of a 200 answer as `m` asks; a changed body is not cacheable.
void ChangeBody(const Misbehaviour& m, Reply& reply);

}  // namespace cirrodex::service
