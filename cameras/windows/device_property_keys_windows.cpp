// The device property keys, defined. The platform's devpkey.h declares each key and defines it
// only where INITGUID is set, and no library of the toolchain holds them; each definition is
// selectany, so a program that defines them elsewhere too links all the same.
// clang-format off
#include <windows.h>
#include <initguid.h>
#include <devpkey.h>
// clang-format on
