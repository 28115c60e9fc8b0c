// The panel's HTTP server: serves the page and its files from the binary and hands the
// interface's requests to a PanelHandler, on the loopback interface only. It answers for the
// browser's security itself, so that no route can forget it: the token on every /api/ request,
// the Host that names this server (no DNS rebinding), the Origin of every request that changes
// something, no CORS, a strict Content-Security-Policy, bounded bodies, bounded connections.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "../stop_requests.h"
#include "panel_http.h"

struct PanelServerOptions {
  // 0: a free port, chosen by the system.
  std::uint16_t port = 0;
  // What every /api/ request carries as `Authorization: Bearer TOKEN`.
  std::string token;
  PanelHandler handler;
  // None: 1 MiB for every request.
  BodyLimit bodyLimit;
  // None: a new event stream starts with the events published after it opened.
  InitialEvents initialEvents;

  // Connections open at once; one more is closed as soon as it is accepted.
  std::size_t maxConnections = 64;
  // Threads that call the handler: a camera call blocks its thread, the I/O thread never.
  std::size_t workers = 4;
  // What one event stream may fall behind by before it is dropped: a client that stops reading
  // must not hold the others up nor the server's memory.
  std::size_t streamQueueBytes = 1024 * 1024;
  // A comment sent on every event stream this often, so that a client gone is noticed.
  std::chrono::milliseconds pingInterval{15000};
  // How long a request's head, its body and an answer's writing may take.
  std::chrono::milliseconds headTimeout{15000};
  std::chrono::milliseconds bodyTimeout{120000};
  std::chrono::milliseconds writeTimeout{30000};
};

class PanelServer {
 public:
  // Listens on 127.0.0.1 at once, so that port() is known before run(); a std::runtime_error
  // saying why when it cannot.
  PanelServer(PanelServerOptions options, const console::StopRequests& stop);
  ~PanelServer();
  PanelServer(const PanelServer&) = delete;
  PanelServer& operator=(const PanelServer&) = delete;

  std::uint16_t port() const;

  // Serves until `stop` is requested, then closes the listening socket and every connection and
  // returns once the handler calls under way have returned.
  void run();

  // Publishes to every open event stream; callable from any thread while the server lives.
  PanelEvents& events();

 private:
  struct State;
  std::unique_ptr<State> state_;
};
