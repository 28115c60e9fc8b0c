// Attribute files of sysfs, which the Linux backends read to know a device (its USB product
// string, its report descriptor, its uevent).
#pragma once

#include <optional>
#include <string>

namespace kit {

// The whole file; none when it cannot be opened or a read fails part way, so that a device that
// goes away while it is read is not taken for one with an empty attribute.
std::optional<std::string> readSysfsFile(const std::string& path);

}  // namespace kit
