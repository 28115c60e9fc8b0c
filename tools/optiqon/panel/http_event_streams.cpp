#include "http_event_streams.h"

#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/http/chunk_encode.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/write.hpp>

#include "http_responses.h"

namespace asio = boost::asio;
namespace http = boost::beast::http;
using boost::system::error_code;

namespace {

// A comment line: the page's reader skips it, and writing it tells whether the client is there.
const auto PingText = std::make_shared<const std::string>(": ping\n\n");

std::string withoutLineBreaks(std::string text) {
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
  return text;
}

}  // namespace

std::string eventText(const PanelEvent& event) {
  std::string text = "event: " + withoutLineBreaks(event.name) + "\n";
  // A line break in the data would end its field: each line is a data line of its own, which
  // the reader joins back with line breaks.
  std::string_view json = event.json;
  while (true) {
    const std::size_t end = json.find('\n');
    std::string line(json.substr(0, end));
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    text += "data: " + line + "\n";
    if (end == std::string_view::npos) {
      break;
    }
    json.remove_prefix(end + 1);
  }
  return text + "\n";
}

EventStreams::EventStreams(asio::io_context& io) : io_(io), pingTimer_(io) {}

void EventStreams::publish(const PanelEvent& event) {
  auto text = std::make_shared<const std::string>(eventText(event));
  asio::post(io_, [this, text = std::move(text)] { deliver(text); });
}

void EventStreams::add(const std::shared_ptr<EventStream>& stream) {
  std::erase_if(streams_, [](const std::weak_ptr<EventStream>& known) { return known.expired(); });
  streams_.push_back(stream);
}

void EventStreams::startPings(std::chrono::milliseconds interval) {
  pingInterval_ = interval;
  schedulePing();
}

void EventStreams::stop() {
  pingInterval_ = std::chrono::milliseconds(0);
  pingTimer_.cancel();
  streams_.clear();
}

void EventStreams::deliver(const std::shared_ptr<const std::string>& text) {
  // A stream may drop itself while it is given the text: the list is walked on a copy.
  const std::vector<std::weak_ptr<EventStream>> streams = streams_;
  for (const std::weak_ptr<EventStream>& known : streams) {
    if (const std::shared_ptr<EventStream> stream = known.lock()) {
      stream->deliver(text);
    }
  }
}

void EventStreams::schedulePing() {
  if (pingInterval_.count() <= 0) {
    return;
  }
  pingTimer_.expires_after(pingInterval_);
  pingTimer_.async_wait([this](const error_code& error) {
    if (error || pingInterval_.count() <= 0) {
      return;
    }
    deliver(PingText);
    schedulePing();
  });
}

EventStream::EventStream(ServerContext& context, asio::ip::tcp::socket socket, unsigned httpVersion)
    : context_(context),
      socket_(std::move(socket)),
      writeDeadline_(context.io),
      httpVersion_(httpVersion) {}

void EventStream::start() {
  registration_.emplace(context_.connections, weak_from_this());
  context_.streams.add(shared_from_this());
  writeHead();
  makeInitialEvents();
  watchForClose();
}

void EventStream::close() {
  if (closed_) {
    return;
  }
  closed_ = true;
  error_code ignored;
  socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  socket_.close(ignored);
  writeDeadline_.cancel();
  queued_.clear();
  queuedBytes_ = 0;
}

void EventStream::deliver(const std::shared_ptr<const std::string>& text) {
  if (closed_) {
    return;
  }
  queued_.push_back(text);
  queuedBytes_ += text->size();
  if (queuedBytes_ > context_.options.streamQueueBytes) {
    close();
    return;
  }
  writeQueued();
}

void EventStream::writeHead() {
  auto head = std::make_shared<http::response<http::empty_body>>(http::status::ok, httpVersion_);
  head->set(http::field::content_type, "text/event-stream");
  setSecurityHeaders(*head);
  head->keep_alive(false);
  // An HTTP/1.0 client takes the stream as the body that ends when the connection does.
  head->chunked(httpVersion_ >= 11);
  auto serializer = std::make_shared<http::response_serializer<http::empty_body>>(*head);
  armWriteDeadline();
  http::async_write_header(
      socket_, *serializer,
      [self = shared_from_this(), head, serializer](const error_code& error, std::size_t) {
        self->writeDone();
        if (error) {
          self->close();
          return;
        }
        self->headWritten_ = true;
        self->writeQueued();
      });
}

void EventStream::makeInitialEvents() {
  if (!context_.options.initialEvents) {
    initialEventsMade({});
    return;
  }
  asio::post(context_.workers, [self = shared_from_this()]() mutable {
    std::vector<PanelEvent> events;
    try {
      events = self->context_.options.initialEvents();
    } catch (const std::exception&) {
      // The stream starts with what is published from now on; the page asks for the rest.
    }
    asio::io_context& io = self->context_.io;
    asio::post(io, [self = std::move(self), events = std::move(events)]() mutable {
      self->initialEventsMade(std::move(events));
    });
  });
}

void EventStream::initialEventsMade(std::vector<PanelEvent> events) {
  if (closed_) {
    return;
  }
  // Ahead of whatever was published while they were made, which is newer.
  for (auto event = events.rbegin(); event != events.rend(); ++event) {
    auto text = std::make_shared<const std::string>(eventText(*event));
    queuedBytes_ += text->size();
    queued_.push_front(std::move(text));
  }
  initialSent_ = true;
  writeQueued();
}

void EventStream::watchForClose() {
  // The client sends nothing after its request: the read ends when it goes away.
  socket_.async_read_some(asio::buffer(readScratch_),
                          [self = shared_from_this()](const error_code& error, std::size_t) {
                            if (error) {
                              self->close();
                            } else if (!self->closed_) {
                              self->watchForClose();
                            }
                          });
}

void EventStream::writeDone() {
  ++writes_;
  writeDeadline_.cancel();
}

void EventStream::armWriteDeadline() {
  // A deadline that passed just as its write ended must not close the stream under the next one.
  const unsigned write = ++writes_;
  writeDeadline_.expires_after(context_.options.writeTimeout);
  writeDeadline_.async_wait([self = weak_from_this(), write](const error_code& error) {
    if (auto stream = self.lock(); stream && !error && stream->writes_ == write) {
      stream->close();
    }
  });
}

void EventStream::writeQueued() {
  if (closed_ || !headWritten_ || !initialSent_ || !writing_.empty() || queued_.empty()) {
    return;
  }
  writing_.assign(queued_.begin(), queued_.end());
  queued_.clear();
  queuedBytes_ = 0;
  std::vector<asio::const_buffer> buffers;
  for (const auto& text : writing_) {
    buffers.push_back(asio::buffer(*text));
  }
  armWriteDeadline();
  auto written = [self = shared_from_this()](const error_code& error, std::size_t) {
    self->writeDone();
    self->writing_.clear();
    if (error) {
      self->close();
      return;
    }
    self->writeQueued();
  };
  if (httpVersion_ >= 11) {
    asio::async_write(socket_, http::make_chunk(buffers), std::move(written));
  } else {
    asio::async_write(socket_, buffers, std::move(written));
  }
}
