#include "http_target.h"

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// A query's `+` is a space (as forms and URLSearchParams write it); a path's is itself.
std::optional<std::string> percentDecoded(std::string_view text, bool plusIsSpace) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) {
        return std::nullopt;
      }
      const int high = hexDigit(text[i + 1]);
      const int low = hexDigit(text[i + 2]);
      if (high < 0 || low < 0) {
        return std::nullopt;
      }
      c = static_cast<char>(high * 16 + low);
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      c = ' ';
    }
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      return std::nullopt;
    }
    decoded += c;
  }
  return decoded;
}

}  // namespace

std::optional<RequestTarget> decodeTarget(std::string_view target) {
  if (target.empty() || target.front() != '/') {
    return std::nullopt;
  }
  // A fragment never reaches a server; one that does is dropped as a browser would drop it.
  target = target.substr(0, target.find('#'));
  const std::size_t queryStart = target.find('?');
  const std::optional<std::string> path = percentDecoded(target.substr(0, queryStart), false);
  if (!path) {
    return std::nullopt;
  }
  RequestTarget decoded{*path, {}};
  if (queryStart == std::string_view::npos) {
    return decoded;
  }
  std::string_view query = target.substr(queryStart + 1);
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    if (pair.empty()) {
      continue;
    }
    const std::size_t equals = pair.find('=');
    const std::optional<std::string> name = percentDecoded(pair.substr(0, equals), true);
    const std::optional<std::string> value = percentDecoded(
        equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1), true);
    if (!name || !value) {
      return std::nullopt;
    }
    decoded.query[*name] = *value;
  }
  return decoded;
}
