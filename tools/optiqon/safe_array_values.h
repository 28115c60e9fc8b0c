// The vendor controls' values as the library's exports carry them: OLE Automation safe arrays of
// doubles, one for each byte (or control 30's scaled number).
#pragma once

#include <BrenwickSafeArray.h>

#include <vector>

// The array's values; none when its bounds or data cannot be reached.
std::vector<double> valuesOfSafeArray(SAFEARRAY* array);

// Copies `values` into an array made for as many doubles; false when its data cannot be reached.
bool copyIntoSafeArray(SAFEARRAY* array, const std::vector<double>& values);
