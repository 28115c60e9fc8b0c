// GET /api/events: the server-sent events that keep the page up to date (cameras plugged in and
// out, an update's progress) without it asking again and again. Each stream is a connection of
// its own that only writes: first the head of a chunked text/event-stream answer, then what
// `initialEvents` gives, then every event published, each as one chunk. A stream that falls
// further behind than its queue allows (a client that stopped reading) is dropped, so that it
// holds neither the others nor the server's memory; a comment goes out every ping interval, so
// that a client gone away is noticed even when nothing happens.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http_server_context.h"
#include "panel_http.h"

class EventStream;

// Every open stream, and what is published to them; streams are touched on the I/O thread only.
class EventStreams : public PanelEvents {
 public:
  explicit EventStreams(boost::asio::io_context& io);

  // From any thread.
  void publish(const PanelEvent& event) override;

  // On the I/O thread.
  void add(const std::shared_ptr<EventStream>& stream);
  void startPings(std::chrono::milliseconds interval);
  void stop();

 private:
  void deliver(const std::shared_ptr<const std::string>& text);
  void schedulePing();

  boost::asio::io_context& io_;
  boost::asio::steady_timer pingTimer_;
  std::chrono::milliseconds pingInterval_{0};
  std::vector<std::weak_ptr<EventStream>> streams_;
};

// An event as the stream carries it: `event: NAME`, its JSON as `data:` lines, a blank line.
std::string eventText(const PanelEvent& event);

class EventStream : public ServerConnection, public std::enable_shared_from_this<EventStream> {
 public:
  EventStream(ServerContext& context, boost::asio::ip::tcp::socket socket, unsigned httpVersion);

  // Writes the answer's head, registers the stream and has the initial events made.
  void start();
  void close() override;
  // Queues an event's text; drops the stream when the queue grows past its bound.
  void deliver(const std::shared_ptr<const std::string>& text);

 private:
  void writeHead();
  void makeInitialEvents();
  void initialEventsMade(std::vector<PanelEvent> events);
  void watchForClose();
  void writeQueued();
  void armWriteDeadline();
  void writeDone();

  ServerContext& context_;
  boost::asio::ip::tcp::socket socket_;
  boost::asio::steady_timer writeDeadline_;
  unsigned httpVersion_;
  std::optional<RegisteredConnection> registration_;
  // Published before the initial events were made: sent after them.
  bool initialSent_ = false;
  std::deque<std::shared_ptr<const std::string>> queued_;
  std::size_t queuedBytes_ = 0;
  std::vector<std::shared_ptr<const std::string>> writing_;
  bool headWritten_ = false;
  bool closed_ = false;
  unsigned writes_ = 0;
  char readScratch_[512];
};
