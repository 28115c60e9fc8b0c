// What the server needs of the platform beyond Asio: waiting on the tool's stop requests beside
// the sockets, and keeping its sockets out of the processes it starts (the browser, which would
// otherwise hold the panel's port open after the panel ended). One file per platform.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <functional>
#include <memory>

#include "../stop_requests.h"

// Calls `stopped` on the I/O thread once a stop is requested, or at once when one was already;
// the wait ends when the object returned is destroyed.
class StopWait {
 public:
  virtual ~StopWait() = default;
};
std::unique_ptr<StopWait> waitForStop(boost::asio::io_context& io,
                                      const console::StopRequests& stop,
                                      std::function<void()> stopped);

// Marks a socket as not to be inherited by child processes.
void keepFromChildProcesses(boost::asio::ip::tcp::socket& socket);
// Prepares the listening socket, opened but not yet bound: not inherited either, and its port
// reusable at once after a panel before it ended (POSIX) yet never shared with another program
// listening on it too (Windows).
void prepareListener(boost::asio::ip::tcp::acceptor& acceptor);
