// panel: serves the cameras' control panel, a page in the browser, on this PC's loopback
// interface, and runs until stopped (Ctrl-C, SIGTERM). Its first line of output is the page's
// address with the run's token in its fragment, which the browser keeps to itself.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "../commands.h"
#include "../stop_requests.h"
#include "open_browser.h"
#include "panel_security.h"
#include "panel_server.h"

namespace {

struct PanelOptions {
  unsigned port = 0;
  bool noBrowser = false;
};

// Until the interface's routes are there, every request of it is told there is no such route.
PanelResponse noSuchRoute(const PanelRequest& request) {
  const nlohmann::json body = {{"error", "no such route: " + request.method + " " + request.path}};
  return PanelResponse{404, "application/json", body.dump() + "\n", {}};
}

int panel(const PanelOptions& options) {
  const console::StopRequests stop;
  PanelServerOptions serverOptions;
  serverOptions.port = static_cast<std::uint16_t>(options.port);
  serverOptions.token = makePanelToken();
  serverOptions.handler = noSuchRoute;
  const std::string token = serverOptions.token;
  PanelServer server(std::move(serverOptions), stop);
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/#token=" + token;
  std::cout << url << std::endl;
  if (!options.noBrowser) {
    openInBrowser(url);
  }
  server.run();
  return Ok;
}

}  // namespace

void addPanelCommand(CommandRegistry& commands) {
  const auto options = std::make_shared<PanelOptions>();
  CLI::App& command = commands.add(
      "panel",
      "Serves the cameras' control panel on this PC only (127.0.0.1) and opens it in the "
      "browser; runs until stopped. The first line of output is the panel's address, with the "
      "token that every request of its interface carries",
      [options](const CommandContext&) { return panel(*options); });
  command.add_option("--port", options->port, "Serve on this port instead of a free one")
      ->check(CLI::Range(1u, 65535u))
      ->option_text("PORT");
  command.add_flag("--no-browser", options->noBrowser,
                   "Print the address only, without opening a browser");
}
