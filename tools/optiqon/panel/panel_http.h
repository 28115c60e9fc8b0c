// What the panel's HTTP server hands the interface above it, and what it takes back. The server
// has already done everything about HTTP and the browser's security by the time a request gets
// here (the token, the Host and Origin checks, the body's limit); the interface sees decoded
// requests and answers with a status, a type and a body.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct PanelRequest {
  // "GET", "PUT", "POST", "DELETE"
  std::string method;
  // Decoded path without the query, e.g. /api/cameras/K3M51-A001/settings
  std::string path;
  // Decoded query parameters
  std::map<std::string, std::string> query;
  std::string contentType;
  std::string body;
};

struct PanelResponse {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // extra, e.g. Content-Disposition
};

// The interface's routes: called on a worker thread (never the I/O thread), one call per request.
using PanelHandler = std::function<PanelResponse(const PanelRequest&)>;

// The largest body a request may carry, by method and path (before the body is read): 1 MiB
// for JSON, the flash's size for a firmware image. A larger one gets 413 and is not read.
using BodyLimit = std::function<std::size_t(const std::string& method, const std::string& path)>;

// Server-sent events: every open GET /api/events stream receives each published event; a
// stream opened later first receives what `initialEvents` returns (the current camera list and
// every update's state).
struct PanelEvent {
  std::string name;
  std::string json;
};

class PanelEvents {
 public:
  virtual ~PanelEvents() = default;
  virtual void publish(const PanelEvent&) = 0;
};

// What a stream opened now receives first, called on a worker thread for each new stream.
using InitialEvents = std::function<std::vector<PanelEvent>()>;
