#include "panel_security.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::size_t TokenBytes = 32;

std::string lowercase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

bool equalsIgnoringCase(std::string_view first, std::string_view second) {
  return first.size() == second.size() && lowercase(first) == lowercase(second);
}

}  // namespace

std::string makePanelToken() {
  static constexpr char Digits[] = "0123456789abcdef";
  std::string token;
  for (const unsigned char byte : secureRandomBytes(TokenBytes)) {
    token += Digits[byte >> 4];
    token += Digits[byte & 0x0f];
  }
  return token;
}

bool sameSecret(std::string_view given, std::string_view expected) {
  // Every byte of the expected secret is looked at whatever the given one holds, so that the
  // time taken tells nothing of how much of it was right. Its length is no secret.
  unsigned difference = given.size() == expected.size() ? 0 : 1;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const unsigned char mine = static_cast<unsigned char>(expected[i]);
    const unsigned char theirs = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    difference |= static_cast<unsigned>(mine ^ theirs);
  }
  return difference == 0;
}

std::optional<std::string_view> bearerToken(std::string_view authorization) {
  constexpr std::string_view Scheme = "bearer";
  if (authorization.size() <= Scheme.size() ||
      !equalsIgnoringCase(authorization.substr(0, Scheme.size()), Scheme) ||
      authorization[Scheme.size()] != ' ') {
    return std::nullopt;
  }
  std::string_view token = authorization.substr(Scheme.size());
  token.remove_prefix(std::min(token.find_first_not_of(' '), token.size()));
  token.remove_suffix(token.size() - std::min(token.find_last_not_of(' ') + 1, token.size()));
  if (token.empty()) {
    return std::nullopt;
  }
  return token;
}

std::optional<std::string> panelHost(std::string_view host, std::uint16_t port) {
  const std::string lower = lowercase(host);
  const std::size_t colon = lower.rfind(':');
  const std::string_view name = std::string_view(lower).substr(0, colon);
  // A browser leaves out the scheme's own port.
  const bool portNamed = colon == std::string::npos ? port == 80
                                                    : lower.compare(colon + 1, std::string::npos,
                                                                    std::to_string(port)) == 0;
  if (portNamed && (name == "127.0.0.1" || name == "localhost")) {
    return lower;
  }
  return std::nullopt;
}

bool isPanelOrigin(std::string_view origin, std::string_view panelHost) {
  return lowercase(origin) == "http://" + std::string(panelHost);
}
