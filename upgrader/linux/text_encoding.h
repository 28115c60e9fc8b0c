// The kernel hands strings over in UTF-8; the HID seam answers in UTF-16, as Windows does.
#pragma once

#include <string>

namespace hidraw {

// UTF-8 to UTF-16; a byte that does not start or continue a character becomes U+FFFD.
std::u16string utf16FromUtf8(const std::string& text);

}  // namespace hidraw
