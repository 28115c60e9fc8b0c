// The rules that keep other web pages away from the panel. Every page a user's browser opens can
// send requests to 127.0.0.1, so the server trusts a request only when it proves it comes from
// the panel's own page: it carries the run's token (which only the page opened from the printed
// address knows), it names this server in Host (a page of another site whose name was made to
// resolve to 127.0.0.1 names that site), and, when it changes something, its Origin is the
// panel's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The system's cryptographically secure random bytes (getrandom on Linux, BCryptGenRandom on
// Windows); a std::runtime_error when it gives none.
std::vector<unsigned char> secureRandomBytes(std::size_t count);

// A new run's token: 256 random bits as 64 lowercase hexadecimal digits.
std::string makePanelToken();

// Whether `given` equals `expected`, taking the same time whichever byte differs.
bool sameSecret(std::string_view given, std::string_view expected);

// The token of an Authorization header `Bearer TOKEN`; none for any other.
std::optional<std::string_view> bearerToken(std::string_view authorization);

// The Host header's value, lowercased, when it names this server (127.0.0.1:PORT or
// localhost:PORT); none for any other.
std::optional<std::string> panelHost(std::string_view host, std::uint16_t port);

// Whether the Origin header is the panel's own page as the Host named it.
bool isPanelOrigin(std::string_view origin, std::string_view panelHost);
