#include "http_connection.h"

#include <boost/asio/post.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>
#include <exception>

#include "http_event_streams.h"
#include "panel_assets.h"
#include "panel_security.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using boost::system::error_code;

namespace {

// A head larger than this is no request the page or a script makes.
constexpr std::uint32_t HeadLimit = 16 * 1024;
constexpr std::size_t DefaultBodyLimit = 1024 * 1024;
constexpr std::chrono::seconds LingerTime{1};

bool isParseError(const error_code& error) {
  return error.category() == http::make_error_code(http::error::bad_target).category();
}

bool isInterfacePath(const std::string& path) {
  return path == "/api" || path.starts_with("/api/");
}

bool isBearerOf(std::string_view authorization, const std::string& token) {
  const std::optional<std::string_view> given = bearerToken(authorization);
  return given && !token.empty() && sameSecret(*given, token);
}

}  // namespace

HttpConnection::HttpConnection(ServerContext& context, asio::ip::tcp::socket socket)
    : context_(context), stream_(std::move(socket)) {}

void HttpConnection::start() {
  registration_.emplace(context_.connections, weak_from_this());
  readHead();
}

void HttpConnection::close() {
  if (closed_) {
    return;
  }
  closed_ = true;
  stream_.close();
}

void HttpConnection::readHead() {
  if (closed_ || context_.stopping) {
    close();
    return;
  }
  parser_.emplace();
  // The route's own limit is set once the head is read; until then Beast's default (1 MiB)
  // would refuse a firmware image before its route is known.
  parser_->body_limit(boost::none);
  parser_->header_limit(HeadLimit);
  stream_.expires_after(context_.options.headTimeout);
  http::async_read_header(
      stream_, buffer_, *parser_,
      [self = shared_from_this()](const error_code& error, std::size_t) { self->headRead(error); });
}

void HttpConnection::headRead(const error_code& error) {
  if (closed_) {
    return;
  }
  if (error == http::error::header_limit) {
    refuse({431, "the request's head is larger than the panel takes"}, true);
  } else if (error && error != http::error::end_of_stream &&
             error != http::error::partial_message && isParseError(error)) {
    refuse({400, "malformed request: " + error.message()}, true);
  } else if (error) {
    close();  // gone, timed out or stopped: nobody to answer
  } else if (const std::optional<Refusal> refused = refusal()) {
    // A body not read yet would be taken for the next request.
    refuse(*refused, !parser_->is_done());
  } else if (route_ == Route::Asset) {
    serveAsset();
  } else if (route_ == Route::Events) {
    startEventStream();
  } else {
    readBody();
  }
}

std::optional<HttpConnection::Refusal> HttpConnection::refusal() {
  const auto& request = parser_->get();
  const std::string port = std::to_string(context_.port);
  // A page of another site whose name was made to resolve to 127.0.0.1 (DNS rebinding) names
  // that site here.
  const std::optional<std::string> host = request.count(http::field::host) == 1
                                              ? panelHost(request[http::field::host], context_.port)
                                              : std::nullopt;
  if (!host) {
    return Refusal{403, "this panel answers only at 127.0.0.1:" + port + " or localhost:" + port};
  }
  host_ = *host;
  const std::optional<RequestTarget> target = decodeTarget(request.target());
  if (!target) {
    return Refusal{400, "malformed request target"};
  }
  target_ = *target;
  const bool forInterface = isInterfacePath(target_.path);
  if (forInterface && !isBearerOf(request[http::field::authorization], context_.options.token)) {
    return Refusal{401,
                   "the panel's interface needs the token printed at its start: "
                   "Authorization: Bearer TOKEN"};
  }
  const http::verb method = request.method();
  if (method != http::verb::get && method != http::verb::put && method != http::verb::post &&
      method != http::verb::delete_) {
    return Refusal{405, "the panel takes GET, PUT, POST and DELETE"};
  }
  // Another site's page can send a request that changes something without reading its answer;
  // the browser names that page's origin, which is not the panel's.
  if (method != http::verb::get && !isPanelOrigin(request[http::field::origin], host_)) {
    return Refusal{403,
                   "a request that changes something needs the Origin of the panel's page: "
                   "Origin: http://" +
                       host_};
  }
  if (!forInterface && method != http::verb::get) {
    return Refusal{405, "the panel's page and its files are only read (GET)"};
  }
  route_ = !forInterface                                                ? Route::Asset
           : target_.path == "/api/events" && method == http::verb::get ? Route::Events
                                                                        : Route::Interface;
  std::size_t limit = 0;  // the page's files and the event stream take no body
  if (route_ == Route::Interface) {
    limit = context_.options.bodyLimit
                ? context_.options.bodyLimit(std::string(request.method_string()), target_.path)
                : DefaultBodyLimit;
  }
  const auto length = parser_->content_length();  // a boost::optional
  if ((length && *length > limit) || (!parser_->is_done() && limit == 0)) {
    return Refusal{413, "the request's body is larger than the " + std::to_string(limit) +
                            " bytes that " + target_.path + " takes"};
  }
  parser_->body_limit(limit);
  return std::nullopt;
}

void HttpConnection::readBody() {
  auto read = [self = shared_from_this()] {
    self->stream_.expires_after(self->context_.options.bodyTimeout);
    http::async_read(self->stream_, self->buffer_, *self->parser_,
                     [self](const error_code& error, std::size_t) { self->bodyRead(error); });
  };
  const auto& request = parser_->get();
  if (parser_->is_done() || !beast::iequals(request[http::field::expect], "100-continue")) {
    read();
    return;
  }
  // A client that asked first (curl, for a large image) sends the body once told to go on.
  auto goOn = std::make_shared<http::response<http::empty_body>>(http::status::continue_,
                                                                 request.version());
  stream_.expires_after(context_.options.writeTimeout);
  http::async_write(stream_, *goOn,
                    [self = shared_from_this(), goOn, read](const error_code& error, std::size_t) {
                      if (error) {
                        self->close();
                      } else {
                        read();
                      }
                    });
}

void HttpConnection::bodyRead(const error_code& error) {
  if (closed_) {
    return;
  }
  if (error == http::error::body_limit) {
    refuse({413, "the request's body is larger than " + target_.path + " takes"}, true);
  } else if (error && error != http::error::partial_message && isParseError(error)) {
    refuse({400, "malformed request body: " + error.message()}, true);
  } else if (error) {
    close();
  } else {
    callHandler();
  }
}

void HttpConnection::serveAsset() {
  const auto& request = parser_->get();
  const std::string name = target_.path == "/" ? "index.html" : target_.path.substr(1);
  const PanelAsset* asset = findPanelAsset(name);
  if (asset == nullptr) {
    answer(makeResponse(404, "text/plain; charset=utf-8", "not found\n", request.version(),
                        request.keep_alive()));
    return;
  }
  answer(makeResponse(200, asset->contentType, std::string(asset->content), request.version(),
                      request.keep_alive()));
}

void HttpConnection::startEventStream() {
  const unsigned version = parser_->get().version();
  stream_.expires_never();
  auto stream = std::make_shared<EventStream>(context_, stream_.release_socket(), version);
  closed_ = true;  // the socket is the stream's now
  stream->start();
}

void HttpConnection::callHandler() {
  auto message = parser_->release();
  PanelRequest request{std::string(message.method_string()), target_.path, target_.query,
                       std::string(message[http::field::content_type]), std::move(message.body())};
  const unsigned version = message.version();
  const bool keepAlive = message.keep_alive();
  if (!context_.options.handler) {
    answer(errorResponse(404, "no such route: " + request.path, version, keepAlive));
    return;
  }
  // The handler may wait on a camera: never on the I/O thread, which serves every connection.
  asio::post(context_.workers, [self = shared_from_this(), request = std::move(request), version,
                                keepAlive]() mutable {
    HttpResponse response;
    try {
      response = fromPanelResponse(self->context_.options.handler(request), version, keepAlive);
    } catch (const std::exception& failure) {
      response = errorResponse(500, std::string("the panel failed: ") + failure.what(), version,
                               keepAlive);
    } catch (...) {
      response = errorResponse(500, "the panel failed", version, keepAlive);
    }
    asio::io_context& io = self->context_.io;
    asio::post(io, [self = std::move(self), response = std::move(response)]() mutable {
      self->answer(std::move(response));
    });
  });
}

void HttpConnection::refuse(const Refusal& refused, bool closeAfter) {
  const auto& request = parser_->get();
  const unsigned version = request.version() == 10 ? 10 : 11;
  HttpResponse response =
      errorResponse(refused.status, refused.message, version, request.keep_alive() && !closeAfter);
  if (refused.status == 401) {
    response.set(http::field::www_authenticate, "Bearer realm=\"optiqon panel\"");
  }
  if (refused.status == 405) {
    response.set(http::field::allow,
                 isInterfacePath(target_.path) ? "GET, PUT, POST, DELETE" : "GET");
  }
  answer(std::move(response));
}

void HttpConnection::answer(HttpResponse response) {
  if (closed_ || context_.stopping) {
    close();
    return;
  }
  response_ = std::make_shared<HttpResponse>(std::move(response));
  stream_.expires_after(context_.options.writeTimeout);
  http::async_write(
      stream_, *response_,
      [self = shared_from_this()](const error_code& error, std::size_t) { self->answered(error); });
}

void HttpConnection::answered(const error_code& error) {
  if (closed_) {
    return;
  }
  if (error) {
    close();
  } else if (!response_->keep_alive()) {
    lingerAndClose();
  } else {
    readHead();
  }
}

void HttpConnection::lingerAndClose() {
  error_code ignored;
  stream_.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
  stream_.expires_after(LingerTime);
  // The deadline holds for every read from now on: at most LingerTime in all.
  struct Drain {
    std::shared_ptr<HttpConnection> self;
    void operator()(const error_code& error, std::size_t) const {
      if (error || self->closed_ || self->context_.stopping) {
        self->close();
        return;
      }
      self->stream_.async_read_some(asio::buffer(self->lingerScratch_), *this);
    }
  };
  Drain{shared_from_this()}(error_code(), 0);
}
