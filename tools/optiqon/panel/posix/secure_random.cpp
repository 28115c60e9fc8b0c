// The system's secure random bytes on Linux: getrandom(), which waits only until the kernel's
// pool was first seeded at boot.
#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "../panel_security.h"

std::vector<unsigned char> secureRandomBytes(std::size_t count) {
  std::vector<unsigned char> bytes(count);
  std::size_t filled = 0;
  while (filled < count) {
    const ssize_t got = getrandom(bytes.data() + filled, count - filled, 0);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw std::runtime_error(std::string("cannot draw random bytes for the panel's token: ") +
                               std::strerror(errno));
    }
    filled += static_cast<std::size_t>(got);
  }
  return bytes;
}
