// The data length of every numbered vendor control, known from the moment the library is
// loaded: a read must ask the camera for exactly the control's length.
#pragma once

#include <cstdint>
#include <map>

using ControlSizeMap = std::map<std::int32_t, std::int32_t>;

ControlSizeMap& ControlSizeTable();

// The length stored for `number`. A number the table does not know is added with length 0,
// as a map's subscript does, and 0 is returned. The growth is kept: it is bounded by the
// distinct numbers a host asks for, lasts until the library is unloaded, and keeps every
// reference handed out valid.
std::int32_t& LookupControlSize(std::int32_t number);
