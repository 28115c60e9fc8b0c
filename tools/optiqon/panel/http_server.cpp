// The server's one I/O thread (the one that calls run()) does every socket operation, so that the
// connections need no locks among themselves; a small pool of workers calls the handler, whose
// camera calls block. A stop closes the listening socket and every connection, waits for the
// handler calls under way, and lets the I/O thread finish what they left.
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <stdexcept>

#include "http_connection.h"
#include "http_event_streams.h"
#include "http_platform.h"
#include "panel_server.h"

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;

namespace {

// After a failed accept (out of descriptors), before the next.
constexpr std::chrono::milliseconds AcceptRetry{100};

}  // namespace

// In the order of their destruction's needs, last first: the workers are joined while what
// their handler calls use still lives, and the connections the I/O context lets go of last
// find their registry.
struct PanelServer::State {
  State(PanelServerOptions options, const console::StopRequests& stop)
      : options(std::move(options)),
        stop(stop),
        context{this->options, 0, io, workers, connections, streams},
        workers(std::max<std::size_t>(1, this->options.workers)) {}

  void listen();
  void accept();
  void beginStop();

  PanelServerOptions options;
  const console::StopRequests& stop;
  ConnectionRegistry connections;
  asio::io_context io{1};
  EventStreams streams{io};
  ServerContext context;
  asio::thread_pool workers;
  tcp::acceptor acceptor{io};
  asio::steady_timer acceptRetry{io};
  std::unique_ptr<StopWait> stopWait;
  bool ran = false;
};

void PanelServer::State::listen() {
  const tcp::endpoint endpoint(asio::ip::address_v4::loopback(), options.port);
  const std::string where = "127.0.0.1:" + (options.port == 0 ? std::string("a free port")
                                                              : std::to_string(options.port));
  error_code error;
  acceptor.open(endpoint.protocol(), error);
  if (!error) {
    prepareListener(acceptor);
    acceptor.bind(endpoint, error);
  }
  if (!error) {
    acceptor.listen(asio::socket_base::max_listen_connections, error);
  }
  if (error) {
    throw std::runtime_error("the panel cannot listen on " + where + ": " + error.message());
  }
  context.port = acceptor.local_endpoint().port();
}

void PanelServer::State::accept() {
  acceptor.async_accept([this](const error_code& error, tcp::socket socket) {
    if (context.stopping) {
      return;
    }
    if (error) {
      acceptRetry.expires_after(AcceptRetry);
      acceptRetry.async_wait([this](const error_code& waitError) {
        if (!waitError && !context.stopping) {
          accept();
        }
      });
      return;
    }
    keepFromChildProcesses(socket);
    error_code ignored;
    if (connections.size() >= options.maxConnections) {
      socket.close(ignored);
    } else {
      // Small writes (an event, a slider's answer) go out at once.
      socket.set_option(tcp::no_delay(true), ignored);
      std::make_shared<HttpConnection>(context, std::move(socket))->start();
    }
    accept();
  });
}

void PanelServer::State::beginStop() {
  context.stopping = true;
  error_code ignored;
  acceptor.close(ignored);
  acceptRetry.cancel();
  streams.stop();
  connections.closeAll();
}

PanelServer::PanelServer(PanelServerOptions options, const console::StopRequests& stop)
    : state_(std::make_unique<State>(std::move(options), stop)) {
  state_->listen();
}

PanelServer::~PanelServer() = default;

std::uint16_t PanelServer::port() const {
  return state_->context.port;
}

void PanelServer::run() {
  State& state = *state_;
  if (state.ran) {
    throw std::logic_error("a panel server runs once");
  }
  state.ran = true;
  state.stopWait = waitForStop(state.io, state.stop, [&state] { state.beginStop(); });
  state.streams.startPings(state.options.pingInterval);
  state.accept();
  state.io.run();
  // Returns once every connection is closed; the handler calls still under way end now, and
  // the answers they post find their connections closed.
  state.workers.join();
  state.io.restart();
  state.io.run();
  state.stopWait.reset();
}

PanelEvents& PanelServer::events() {
  return state_->streams;
}
