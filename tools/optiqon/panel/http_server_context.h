// What the server's connections share: the I/O context whose one thread runs every socket
// operation, the workers that call the handler, the options, and the connections open, which a
// stop closes all at once and whose number is bounded.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>

#include "panel_server.h"

class EventStreams;

// A connection the server can close from outside, at a stop.
class ServerConnection {
 public:
  virtual ~ServerConnection() = default;
  // On the I/O thread: ends whatever the connection is doing.
  virtual void close() = 0;
};

class ConnectionRegistry {
 public:
  using Entry = std::list<std::weak_ptr<ServerConnection>>::iterator;

  Entry add(const std::weak_ptr<ServerConnection>& connection) {
    const std::lock_guard lock(mutex_);
    return connections_.insert(connections_.end(), connection);
  }
  void remove(Entry entry) {
    const std::lock_guard lock(mutex_);
    connections_.erase(entry);
  }
  std::size_t size() const {
    const std::lock_guard lock(mutex_);
    return connections_.size();
  }
  void closeAll() {
    std::list<std::shared_ptr<ServerConnection>> open;
    {
      const std::lock_guard lock(mutex_);
      for (const auto& connection : connections_) {
        if (auto alive = connection.lock()) {
          open.push_back(std::move(alive));
        }
      }
    }
    for (const auto& connection : open) {
      connection->close();
    }
  }

 private:
  // A connection's last owner may let go of it on a worker thread.
  mutable std::mutex mutex_;
  std::list<std::weak_ptr<ServerConnection>> connections_;
};

struct ServerContext {
  const PanelServerOptions& options;
  std::uint16_t port;
  boost::asio::io_context& io;
  boost::asio::thread_pool& workers;
  ConnectionRegistry& connections;
  EventStreams& streams;
  // Set on the I/O thread when a stop was requested: no connection starts anything new.
  bool stopping = false;
};

// Keeps a connection on the registry while it lives.
class RegisteredConnection {
 public:
  RegisteredConnection(ConnectionRegistry& registry, const std::weak_ptr<ServerConnection>& self)
      : registry_(registry), entry_(registry.add(self)) {}
  ~RegisteredConnection() { registry_.remove(entry_); }
  RegisteredConnection(const RegisteredConnection&) = delete;
  RegisteredConnection& operator=(const RegisteredConnection&) = delete;

 private:
  ConnectionRegistry& registry_;
  ConnectionRegistry::Entry entry_;
};
