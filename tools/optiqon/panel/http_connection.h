// One connection of the panel's server: reads requests one after the other (keep-alive), holds
// each to the panel's rules before anything of it is used, serves the page's files itself, hands
// the interface's requests to the handler on a worker and writes its answer, or turns into an
// event stream.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <memory>
#include <optional>
#include <string>

#include "http_responses.h"
#include "http_server_context.h"
#include "http_target.h"

class HttpConnection : public ServerConnection,
                       public std::enable_shared_from_this<HttpConnection> {
 public:
  HttpConnection(ServerContext& context, boost::asio::ip::tcp::socket socket);

  void start();
  void close() override;

 private:
  struct Refusal {
    unsigned status;
    std::string message;
  };
  // Where a request that passed the checks goes.
  enum class Route { Asset, Events, Interface };

  void readHead();
  void headRead(const boost::system::error_code& error);
  // The checks of the request's head, in order; none when it passes them.
  std::optional<Refusal> refusal();
  void readBody();
  void bodyRead(const boost::system::error_code& error);
  void serveAsset();
  void startEventStream();
  void callHandler();
  void answer(HttpResponse response);
  void refuse(const Refusal& refusal, bool closeAfter);
  void answered(const boost::system::error_code& error);
  // After an answer that ends the connection: no more to send, and what the client still sends
  // is read and dropped for a moment, so that closing does not reset the connection before the
  // client has read the answer.
  void lingerAndClose();

  ServerContext& context_;
  boost::beast::tcp_stream stream_;
  boost::beast::flat_buffer buffer_;
  std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
  std::shared_ptr<HttpResponse> response_;
  std::optional<RegisteredConnection> registration_;
  // The request's Host, once it passed the check, and its decoded target.
  std::string host_;
  RequestTarget target_;
  Route route_ = Route::Asset;
  bool closed_ = false;
  char lingerScratch_[4096];
};
