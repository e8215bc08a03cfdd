// The result codes of a download, as the system stores them in "DownloadResult" and shows them:
// HTTP status codes, the platform's internet error numbers, and two codes of the system's own.
#pragma once

#include <cstdint>

namespace cirrodex {

inline constexpr uint32_t kResultNotTried = 0;  // no download in this run yet
inline constexpr uint32_t kResultUnderWay = 100;
inline constexpr uint32_t kResultOk = 200;
inline constexpr uint32_t kResultOutOfMemory = 503;
inline constexpr uint32_t kResultBadUrl = 0x10000001;       // 268435457
inline constexpr uint32_t kResultBadRedirect = 0x10000010;  // 268435472
inline constexpr uint32_t kResultNameNotResolved = 12007;
inline constexpr uint32_t kResultCannotConnect = 12029;
inline constexpr uint32_t kResultTimeout = 12002;
// The platform's number for an answer that could not be understood: a 200 that holds no weather.
inline constexpr uint32_t kResultNoWeather = 12152;

}  // namespace cirrodex
