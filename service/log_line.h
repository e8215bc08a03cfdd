// Lines for the service's log: whatever a source or a client sent is shown, never obeyed.
#pragma once

#include <string>
#include <string_view>

namespace cirrodex::service {

// `text` with every control byte (below 0x20, and 0x7f) written as "\xNN" and every backslash
// doubled, so that an answer's escape sequences cannot move a terminal's cursor or forge a
// line; UTF-8 passes unchanged.
std::string LogSafe(std::string_view text);

}  // namespace cirrodex::service
