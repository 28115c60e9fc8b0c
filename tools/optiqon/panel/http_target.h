// A request's target (`/api/cameras/K3M51%2DA001/settings?dry-run=1`) as the interface wants it:
// the path and the query's parameters, each percent-decoded.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

struct RequestTarget {
  std::string path;
  std::map<std::string, std::string> query;
};

// None when the target is not a path (`*`, `http://host/...`), holds a broken or NUL escape, or
// a control character.
std::optional<RequestTarget> decodeTarget(std::string_view target);
