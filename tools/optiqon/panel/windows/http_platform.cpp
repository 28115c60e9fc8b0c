// The server's platform needs on Windows: the stop requests' event waited on by Asio (through
// the system's thread-pool wait) beside the sockets, and sockets that a process started later
// does not inherit (Winsock makes them inheritable).
#include "../http_platform.h"

#include <boost/asio/windows/object_handle.hpp>
#include <stdexcept>

namespace {

class EventStopWait : public StopWait {
 public:
  EventStopWait(boost::asio::io_context& io, HANDLE event, std::function<void()> stopped)
      : event_(io, event), stopped_(std::move(stopped)) {
    event_.async_wait([this](const boost::system::error_code& error) {
      if (!error) {
        stopped_();
      }
    });
  }
  ~EventStopWait() override {
    boost::system::error_code ignored;
    event_.cancel(ignored);
    event_.close(ignored);
  }

 private:
  boost::asio::windows::object_handle event_;
  std::function<void()> stopped_;
};

void notInherited(SOCKET socket) {
  SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

std::unique_ptr<StopWait> waitForStop(boost::asio::io_context& io,
                                      const console::StopRequests& stop,
                                      std::function<void()> stopped) {
  // A handle of Asio's own to close: the original is the stop requests'.
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(stop.waitable()),
                       GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0)) {
    throw std::runtime_error("cannot wait for the panel's stop requests");
  }
  return std::make_unique<EventStopWait>(io, copy, std::move(stopped));
}

void keepFromChildProcesses(boost::asio::ip::tcp::socket& socket) {
  notInherited(socket.native_handle());
}

void prepareListener(boost::asio::ip::tcp::acceptor& acceptor) {
  notInherited(acceptor.native_handle());
  // Windows' own reuse would let another program take connections meant for the panel.
  BOOL exclusive = TRUE;
  setsockopt(acceptor.native_handle(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
             reinterpret_cast<const char*>(&exclusive), sizeof(exclusive));
}
