// The panel's JSON interface (docs/panel-api.md), which is also the kit's local REST interface:
// the cameras listed and followed as they come and go, each camera's settings read and written,
// its profiles exported, imported and kept, and its firmware updated on a thread of its own, over
// the tool's Camera interface. The HTTP layer has checked the token, the Host, the Origin and the
// body's size before a request gets here.
//
// Wiring, in the panel command (the server's events exist once the server does, and the server
// calls the handler only once it runs):
//
//   std::unique_ptr<PanelInterface> api;
//   options.handler = [&api](const PanelRequest& request) { return api->handle(request); };
//   options.bodyLimit = panelBodyLimit;
//   options.initialEvents = [&api] { return api->initialEvents(); };
//   PanelServer server(std::move(options), stop);
//   api = std::make_unique<PanelInterface>(server.events(), stop);
//   server.run();
//   ... api->runningUpdates() names what ~PanelInterface waits for ...
//   api.reset();  // before the server, whose events the updates still publish to
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "../stop_requests.h"
#include "panel_http.h"

// The largest body a request may carry: the largest image the camera's flash takes for a
// firmware update, 1 MiB for any other (JSON, a profile).
std::size_t panelBodyLimit(const std::string& method, const std::string& path);

class PanelInterface {
 public:
  // Lists the cameras and follows their comings and goings on a thread of its own, publishing
  // the list as a `cameras` event whenever it changes; each firmware update publishes `update`
  // events. `events` and `stop` outlive the interface; `stop` also ends the following.
  PanelInterface(PanelEvents& events, const console::StopRequests& stop);
  // Waits for every firmware update still running to reach its verdict: a camera whose update
  // is cut short is left without working firmware.
  ~PanelInterface();
  PanelInterface(const PanelInterface&) = delete;
  PanelInterface& operator=(const PanelInterface&) = delete;

  // Every route; called on the server's worker threads, several at once. Never throws: every
  // failure is an answer with a status and {"error": MESSAGE}.
  PanelResponse handle(const PanelRequest& request);

  // What an event stream opened now receives first: the camera list, then every update's state.
  std::vector<PanelEvent> initialEvents();

  // The cameras whose firmware update is running now, by serial number (or location).
  std::vector<std::string> runningUpdates() const;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};
