// panel: serves the cameras' control panel, a page in the browser, on this PC's loopback
// interface, and runs until stopped (Ctrl-C, SIGTERM). Its first line of output is the page's
// address with the run's token in its fragment, which the browser keeps to itself.
#include <iostream>
#include <memory>
#include <string>

#include "../commands.h"
#include "../stop_requests.h"
#include "open_browser.h"
#include "panel_api.h"
#include "panel_security.h"
#include "panel_server.h"

namespace {

struct PanelOptions {
  unsigned port = 0;
  bool noBrowser = false;
};

int panel(const PanelOptions& options) {
  const console::StopRequests stop;
  PanelServerOptions serverOptions;
  serverOptions.port = static_cast<std::uint16_t>(options.port);
  serverOptions.token = makePanelToken();
  // The interface exists once the server's events do; the server calls it only once it runs.
  std::unique_ptr<PanelInterface> api;
  serverOptions.handler = [&api](const PanelRequest& request) { return api->handle(request); };
  serverOptions.bodyLimit = panelBodyLimit;
  serverOptions.initialEvents = [&api] { return api->initialEvents(); };
  const std::string token = serverOptions.token;
  PanelServer server(std::move(serverOptions), stop);
  api = std::make_unique<PanelInterface>(server.events(), stop);
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/#token=" + token;
  std::cout << url << std::endl;
  if (!options.noBrowser) {
    openInBrowser(url);
  }
  server.run();
  for (const std::string& camera : api->runningUpdates()) {
    std::cerr << "optiqon: waiting for the firmware update of camera " << camera
              << " to reach its verdict\n";
  }
  api.reset();  // before the server, whose events the updates still publish to
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
