// Conversions between the wide text of the system and the byte encodings of the outside world.
#pragma once

#include <string>
#include <string_view>

namespace cirrodex::platform {

// UTF-8 <-> wide text. Invalid input sequences become U+FFFD; nothing throws.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

// `text` as UTF-8 with every byte percent-encoded ("%C3%BC", upper-case digits) except the ASCII
// characters `kept` accepts. Characters that are no Unicode scalar value are encoded as U+FFFD.
std::string PercentEncode(std::wstring_view text, bool (*kept)(char));

// Wide text <-> UTF-16 code units, the registry's storage form. Characters above U+FFFF become
// surrogate pairs and come back whole.
std::u16string ToUtf16(std::wstring_view text);
std::wstring FromUtf16(std::u16string_view text);

// Names of the registry and of window classes compare without regard to ASCII case; other
// characters compare as they are.
bool EqualIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);
bool LessIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);

}  // namespace cirrodex::platform
