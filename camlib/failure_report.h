// Where a failing platform call is reported. Brenwick prints the line on its console
// (library_console.cpp); the camera API hands it to the diagnostics callback of its host. The
// code that makes the calls is the same in both and reports through this one function.
#pragma once

#include "media_services.h"

// The one report of every failing platform call: the operation, the step that failed and its
// result, as the line "info: Function: <operation>, <step> failed, Error code: 0x<result> \n".
void reportFailure(const char* operation, const char* step, HRESULT result);
