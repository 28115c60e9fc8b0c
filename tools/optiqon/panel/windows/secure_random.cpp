// The system's secure random bytes on Windows: the system's preferred generator through
// BCryptGenRandom, with no algorithm handle to open.
#include <windows.h>
// After windows.h, which bcrypt.h relies on.
#include <bcrypt.h>

#include <stdexcept>
#include <string>

#include "../panel_security.h"

std::vector<unsigned char> secureRandomBytes(std::size_t count) {
  std::vector<unsigned char> bytes(count);
  const NTSTATUS status = BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status < 0) {
    throw std::runtime_error("cannot draw random bytes for the panel's token (status " +
                             std::to_string(static_cast<unsigned long>(status)) + ")");
  }
  return bytes;
}
