#include "safe_array_values.h"

#include <algorithm>

std::vector<double> valuesOfSafeArray(SAFEARRAY* array) {
  std::vector<double> values;
  LONG lower = 0;
  LONG upper = -1;
  void* data = nullptr;
  if (SafeArrayGetLBound(array, 1, &lower) >= 0 && SafeArrayGetUBound(array, 1, &upper) >= 0 &&
      upper >= lower && SafeArrayAccessData(array, &data) >= 0) {
    const double* doubles = static_cast<const double*>(data);
    values.assign(doubles, doubles + (upper - lower + 1));
    SafeArrayUnaccessData(array);
  }
  return values;
}

bool copyIntoSafeArray(SAFEARRAY* array, const std::vector<double>& values) {
  void* data = nullptr;
  if (SafeArrayAccessData(array, &data) < 0) {
    return false;
  }
  std::copy(values.begin(), values.end(), static_cast<double*>(data));
  SafeArrayUnaccessData(array);
  return true;
}
