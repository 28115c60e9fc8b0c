// UTF-8 to UTF-16 and back. The kernel and sysfs hand names and serial numbers over in UTF-8, and
// a scenario file is written in it; the seams answer in UTF-16, as Windows does; the camera API
// hands its callers UTF-8 again.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kit {

// The UTF-16 of `text`; none when it is not UTF-8 (a byte that neither starts nor continues a
// character, or a character cut short at the end).
std::optional<std::u16string> utf16FromUtf8(std::string_view text);

// The UTF-16 of `text`, each byte that is no part of a character becoming U+FFFD, as Windows
// shows a name it cannot read: for text a device chooses, which must still be shown.
std::u16string utf16FromUtf8Lossy(std::string_view text);

// The UTF-8 of `text`; none when it is not UTF-16 (a surrogate without its pair).
std::optional<std::string> utf8FromUtf16(std::u16string_view text);

}  // namespace kit
