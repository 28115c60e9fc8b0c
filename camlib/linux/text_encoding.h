// The kernel and sysfs hand strings over in UTF-8; the media seam answers in UTF-16, as Windows
// does.
#pragma once

#include <string>

namespace media_linux {

// UTF-8 to UTF-16; a byte that does not start or continue a character becomes U+FFFD.
std::u16string utf16FromUtf8(const std::string& text);

}  // namespace media_linux
