// The server's platform needs on POSIX systems: the stop requests' pipe watched by Asio's reactor
// beside the sockets, and close-on-exec on every socket (Asio opens them without it).
#include "../http_platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <boost/asio/posix/stream_descriptor.hpp>
#include <stdexcept>

namespace {

class PipeStopWait : public StopWait {
 public:
  PipeStopWait(boost::asio::io_context& io, int descriptor, std::function<void()> stopped)
      : pipe_(io, descriptor), stopped_(std::move(stopped)) {
    // Only waited on, never read: the byte stays for the command's other waits.
    pipe_.async_wait(boost::asio::posix::stream_descriptor::wait_read,
                     [this](const boost::system::error_code& error) {
                       if (!error) {
                         stopped_();
                       }
                     });
  }
  ~PipeStopWait() override {
    boost::system::error_code ignored;
    pipe_.cancel(ignored);
    pipe_.close(ignored);
  }

 private:
  boost::asio::posix::stream_descriptor pipe_;
  std::function<void()> stopped_;
};

void setCloseOnExec(int descriptor) {
  const int flags = fcntl(descriptor, F_GETFD);
  if (flags >= 0) {
    fcntl(descriptor, F_SETFD, flags | FD_CLOEXEC);
  }
}

}  // namespace

std::unique_ptr<StopWait> waitForStop(boost::asio::io_context& io,
                                      const console::StopRequests& stop,
                                      std::function<void()> stopped) {
  // A copy of the descriptor for Asio to own and close: the original is the stop requests'.
  const int copy = fcntl(static_cast<int>(stop.waitable()), F_DUPFD_CLOEXEC, 0);
  if (copy < 0) {
    throw std::runtime_error("cannot wait for the panel's stop requests");
  }
  return std::make_unique<PipeStopWait>(io, copy, std::move(stopped));
}

void keepFromChildProcesses(boost::asio::ip::tcp::socket& socket) {
  setCloseOnExec(socket.native_handle());
}

void prepareListener(boost::asio::ip::tcp::acceptor& acceptor) {
  setCloseOnExec(acceptor.native_handle());
  acceptor.set_option(boost::asio::socket_base::reuse_address(true));
}
