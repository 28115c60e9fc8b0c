#include "property_commands.h"

#include <cmath>
#include <limits>
#include <vector>

#include "Brenwick.h"
#include "camera_connection.h"
#include "com_ptr.h"
#include "control_sizes.h"
#include "export_lock.h"
#include "uvc_extension.h"

namespace {

// Whether the host's array holds what the library reads: one dimension of doubles. Eight-byte
// elements alone do not say so (64-bit integers, currency and dates have them too): an array
// that records its element type must record VT_R8, and one that records none, such as a
// descriptor the host filled in itself, must not announce strings, interfaces or variants.
bool holdsDoubles(SAFEARRAY* array) {
  if (array == nullptr || SafeArrayGetDim(array) != 1 || array->cbElements != sizeof(double)) {
    return false;
  }
  VARTYPE type = VT_EMPTY;
  if (SUCCEEDED(SafeArrayGetVartype(array, &type))) {
    return type == VT_R8;
  }
  constexpr USHORT TypedElements =
      FADF_RECORD | FADF_HAVEIID | FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT;
  return (array->fFeatures & TypedElements) == 0;
}

// The doubles of the safe array the host passed, in array order; false when it is not an array
// the library can read.
bool readHostValues(SAFEARRAY* array, std::vector<double>& values) {
  if (!holdsDoubles(array)) {
    return false;
  }
  LONG lower = 0;
  LONG upper = 0;
  if (FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(array, 1, &upper))) {
    return false;
  }
  const std::int64_t count = std::int64_t{upper} - lower + 1;
  if (count < 0) {
    return false;
  }
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data))) {
    return false;
  }
  const auto* doubles = static_cast<const double*>(data);
  const bool readable = doubles != nullptr || count == 0;
  if (readable && count > 0) {
    values.assign(doubles, doubles + count);
  }
  SafeArrayUnaccessData(array);
  return readable;
}

// A new host-owned array holding `values`, or null when it cannot be made.
SAFEARRAY* makeHostArray(const std::vector<double>& values) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()));
  if (array == nullptr) {
    return nullptr;
  }
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data)) || (data == nullptr && !values.empty())) {
    SafeArrayDestroy(array);
    return nullptr;
  }
  auto* doubles = static_cast<double*>(data);
  for (std::size_t i = 0; i < values.size(); ++i) {
    doubles[i] = values[i];
  }
  SafeArrayUnaccessData(array);
  return array;
}

}  // namespace

std::int32_t truncateToInt32(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  if (value <= std::numeric_limits<std::int32_t>::min()) {
    return std::numeric_limits<std::int32_t>::min();
  }
  if (value >= std::numeric_limits<std::int32_t>::max()) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}

std::uint8_t byteOfValue(double value) {
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(truncateToInt32(value)) & 0xFF);
}

double scaleForWriting(double value) {
  return OptiqonScaledForWriting(value);
}

double scaleAfterReading(double value) {
  return OptiqonScaledAfterReading(value);
}

void SetProperty(int property, double value) {
  const auto call = oneExportAtATime();
  IMFMediaSource* source = cameraConnection().mediaSource;
  if (source == nullptr) {
    return;
  }
  ComPtr<IAMVideoProcAmp> amplifier;
  if (FAILED(source->QueryInterface(IID_IAMVideoProcAmp, amplifier.out())) || !amplifier) {
    return;
  }
  // A property the camera does not offer has no range; it is skipped. The range is otherwise
  // the camera's to enforce.
  LONG minimum = 0, maximum = 0, step = 0, standard = 0, capabilities = 0;
  if (FAILED(amplifier->GetRange(property, &minimum, &maximum, &step, &standard, &capabilities))) {
    return;
  }
  amplifier->Set(property, truncateToInt32(value), VideoProcAmp_Flags_Manual);
}

// Failures come back as their (negative) result, so a host can tell them from a value.
double GetProperty(int property) {
  const auto call = oneExportAtATime();
  IMFMediaSource* source = cameraConnection().mediaSource;
  if (source == nullptr) {
    return E_FAIL;
  }
  ComPtr<IAMVideoProcAmp> amplifier;
  HRESULT result = source->QueryInterface(IID_IAMVideoProcAmp, amplifier.out());
  if (FAILED(result)) {
    return result;
  }
  if (!amplifier) {
    return E_POINTER;  // a success that handed back nothing
  }
  LONG value = 0;
  LONG flags = 0;
  result = amplifier->Get(property, &value, &flags);
  if (FAILED(result)) {
    return result;
  }
  return value;
}

// The host chooses how many bytes to write: the control's own length is not consulted.
void SetPropertyExtended(int number, SAFEARRAY* values) {
  const auto call = oneExportAtATime();
  std::vector<double> doubles;
  if (!readHostValues(values, doubles)) {
    return;
  }
  if (number == ScaledControlNumber && !doubles.empty()) {
    doubles[0] = scaleForWriting(doubles[0]);
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(doubles.size());
  for (double value : doubles) {
    bytes.push_back(byteOfValue(value));
  }
  const ExtendedControl control = extendedControlOf(number);
  ULONG returned = 0;
  UvcExtension::SetGetExtensionUnit(control.unit, control.node, control.selector, WriteControlFlags,
                                    bytes.empty() ? nullptr : bytes.data(),
                                    static_cast<ULONG>(bytes.size()), &returned);
}

SAFEARRAY* GetPropertyExtended(int number) {
  const auto call = oneExportAtATime();
  const std::int32_t length = LookupControlSize(number);
  const ExtendedControl control = extendedControlOf(number);
  const std::vector<std::uint8_t> bytes =
      UvcExtension::GetExtensionUnit(control.unit, control.node, control.selector, length);
  std::vector<double> values(bytes.begin(), bytes.end());
  if (number == ScaledControlNumber && !values.empty()) {
    values[0] = scaleAfterReading(values[0]);
  }
  return makeHostArray(values);
}
