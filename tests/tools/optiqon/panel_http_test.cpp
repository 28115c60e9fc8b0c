// The panel's HTTP server in-process on a free port, with a handler that records what reaches it,
// tried over real sockets as a browser, a script or another site's page would: the token, the
// Host and Origin checks, the security headers, body limits, malformed requests, the event
// streams (a client that stops reading among them) and the stop.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "panel/http_event_streams.h"
#include "panel/http_target.h"
#include "panel/panel_assets.h"
#include "panel/panel_security.h"
#include "panel/panel_server.h"
#include "stop_requests.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using asio::ip::tcp;
using namespace std::chrono_literals;
using Response = http::response<http::string_body>;
using Clock = std::chrono::steady_clock;

const std::string Token = "7d1e0f3a9c2b4d5e6f708192a3b4c5d6e7f8091a2b3c4d5e6f708192a3b4c5d6";
const std::string Csp =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; media-src 'self' blob: mediastream:; frame-ancestors 'none'; "
    "base-uri 'none'; form-action 'none'";

// A client over a real socket, each of its waits bounded.
class Client {
 public:
  explicit Client(std::uint16_t port, int receiveBuffer = 0) : port_(port), stream_(io_) {
    tcp::socket& socket = stream_.socket();
    socket.open(tcp::v4());
    if (receiveBuffer > 0) {
      socket.set_option(asio::socket_base::receive_buffer_size(receiveBuffer));
    }
    socket.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port));
  }

  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

  void send(std::string_view bytes) { asio::write(stream_.socket(), asio::buffer(bytes)); }

  void send(http::verb method, const std::string& target,
            const std::vector<std::pair<std::string, std::string>>& fields = {},
            const std::string& body = "") {
    http::request<http::string_body> request{method, target, 11};
    request.set(http::field::host, host());
    for (const auto& [name, value] : fields) {
      request.set(name, value);
    }
    request.body() = body;
    if (!body.empty() || method != http::verb::get) {
      request.prepare_payload();
    }
    http::write(stream_.socket(), request);
  }

  Response ask(http::verb method, const std::string& target,
               const std::vector<std::pair<std::string, std::string>>& fields = {},
               const std::string& body = "") {
    send(method, target, fields, body);
    return receive();
  }

  // The next answer; a failed test when none comes.
  Response receive() {
    http::response_parser<http::string_body> parser;
    parser.body_limit(64 * 1024 * 1024);
    beast::error_code error;
    stream_.expires_after(5s);
    http::async_read(stream_, buffer_, parser,
                     [&error](const beast::error_code& failure, std::size_t) { error = failure; });
    run();
    EXPECT_FALSE(error) << "no answer: " << error.message();
    return parser.release();
  }

  // The head of an event stream; what follows it stays in the buffer.
  http::response_header<> receiveHead() {
    http::response_parser<http::empty_body> parser;
    beast::error_code error;
    stream_.expires_after(5s);
    http::async_read_header(
        stream_, buffer_, parser,
        [&error](const beast::error_code& failure, std::size_t) { error = failure; });
    run();
    EXPECT_FALSE(error) << "no head: " << error.message();
    return parser.release().base();
  }

  // Reads an event stream's chunks until their data comes to `size` bytes, the server closes or
  // the time passes; the data so far.
  const std::string& readEvents(std::size_t size, std::chrono::milliseconds within = 5s) {
    streaming_ = true;
    takeChunks(beast::buffers_to_string(buffer_.data()));
    buffer_.consume(buffer_.size());
    readUntil([this, size] { return events_.size() >= size; }, within);
    return events_;
  }

  // Whether the server closed the connection within the time, whatever it sent before.
  bool closedWithin(std::chrono::milliseconds within) {
    buffer_.consume(buffer_.size());
    return readUntil([] { return false; }, within);
  }

 private:
  void run() {
    io_.restart();
    io_.run();
  }

  // Whether the server closed the connection before `enough` held or the time passed.
  bool readUntil(const std::function<bool()>& enough, std::chrono::milliseconds within) {
    if (enough()) {
      return false;
    }
    bool closed = false;
    std::array<char, 65536> received{};
    stream_.expires_after(within);
    std::function<void(const beast::error_code&, std::size_t)> got =
        [&](const beast::error_code& error, std::size_t size) {
          takeChunks(std::string(received.data(), size));
          if (error) {
            closed = error != beast::error::timeout;
          } else if (!enough()) {
            stream_.async_read_some(asio::buffer(received), got);
          }
        };
    stream_.async_read_some(asio::buffer(received), got);
    run();
    return closed;
  }

  // Decodes the complete chunks of a chunked body; a partial one waits for the rest.
  void takeChunks(const std::string& raw) {
    if (!streaming_) {
      return;
    }
    chunked_ += raw;
    while (true) {
      const std::size_t lineEnd = chunked_.find("\r\n");
      if (lineEnd == std::string::npos) {
        return;
      }
      const std::size_t size = std::stoul(chunked_.substr(0, lineEnd), nullptr, 16);
      if (chunked_.size() < lineEnd + 2 + size + 2) {
        return;
      }
      events_ += chunked_.substr(lineEnd + 2, size);
      chunked_.erase(0, lineEnd + 2 + size + 2);
    }
  }

  std::uint16_t port_;
  asio::io_context io_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  // Whether what is read is the chunked body of an event stream, after its head.
  bool streaming_ = false;
  std::string chunked_;
  std::string events_;
};

void expectNoCors(const Response& response) {
  for (const auto& field : response) {
    const std::string name(field.name_string());
    EXPECT_NE(name.rfind("Access-Control-", 0), 0u) << name;
  }
}

class PanelHttp : public ::testing::Test {
 protected:
  ~PanelHttp() override {
    if (serving_.joinable()) {
      stopServer();
    }
  }

  PanelServerOptions options() {
    PanelServerOptions options;
    options.token = Token;
    options.handler = [this](const PanelRequest& request) { return record(request); };
    return options;
  }

  void start(PanelServerOptions options) {
    server_ = std::make_unique<PanelServer>(std::move(options), stop_);
    port_ = server_->port();
    serving_ = std::thread([this] { server_->run(); });
  }

  void start() { start(options()); }

  // Asks the server to stop as the platform would (SIGTERM) and waits for it; how long it took.
  Clock::duration stopServer() {
    const auto asked = Clock::now();
    raise(SIGTERM);
    serving_.join();
    return Clock::now() - asked;
  }

  std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::pair<std::string, std::string> bearer() const {
    return {"Authorization", "Bearer " + Token};
  }

  PanelResponse record(const PanelRequest& request) {
    const std::lock_guard lock(mutex_);
    received_.push_back(request);
    handlerThreads_.push_back(std::this_thread::get_id());
    return PanelResponse{200, "application/json", "{\"done\":true}", {}};
  }

  std::vector<PanelRequest> received() {
    const std::lock_guard lock(mutex_);
    return received_;
  }

  console::StopRequests stop_;
  std::unique_ptr<PanelServer> server_;
  std::uint16_t port_ = 0;
  std::thread serving_;
  std::mutex mutex_;
  std::vector<PanelRequest> received_;
  std::vector<std::thread::id> handlerThreads_;
};

TEST_F(PanelHttp, InterfaceRequestsWithoutTheRightTokenAreRefusedUnseen) {
  start();
  Client client(port_);
  std::string wrong = Token;
  wrong.back() = wrong.back() == '0' ? '1' : '0';
  for (const std::string& authorization :
       std::vector<std::string>{std::string(), "Bearer " + wrong, "Bearer " + Token.substr(1),
                                "Basic " + Token, "Bearer", "Bearer " + Token + "0"}) {
    std::vector<std::pair<std::string, std::string>> fields;
    if (!authorization.empty()) {
      fields.emplace_back("Authorization", authorization);
    }
    const Response response = client.ask(http::verb::get, "/api/cameras", fields);
    EXPECT_EQ(response.result_int(), 401) << authorization;
    EXPECT_EQ(response[http::field::www_authenticate], "Bearer realm=\"optiqon panel\"");
    EXPECT_EQ(response.body(),
              "{\"error\":\"the panel's interface needs the token printed at its start: "
              "Authorization: Bearer TOKEN\"}\n");
    expectNoCors(response);
  }
  EXPECT_TRUE(received().empty());

  // The same connection goes on serving, and the scheme's case is the client's choice.
  const Response response =
      client.ask(http::verb::get, "/api/cameras/K3M51%2DA001/settings?name=white+balance&x=%C3%A9",
                 {{"Authorization", "bearer  " + Token}});
  EXPECT_EQ(response.result_int(), 200);
  EXPECT_EQ(response.body(), "{\"done\":true}");
  ASSERT_EQ(received().size(), 1u);
  EXPECT_EQ(received()[0].method, "GET");
  EXPECT_EQ(received()[0].path, "/api/cameras/K3M51-A001/settings");
  EXPECT_EQ(received()[0].query,
            (std::map<std::string, std::string>{{"name", "white balance"}, {"x", "\xC3\xA9"}}));
}

TEST_F(PanelHttp, HandlerRunsOnAWorkerAndASlowOneHoldsUpNoOther) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  PanelServerOptions slow = options();
  slow.handler = [this, released](const PanelRequest& request) {
    if (request.path == "/api/slow") {
      released.wait();
    }
    return record(request);
  };
  start(std::move(slow));
  Client waiting(port_);
  waiting.send(http::verb::get, "/api/slow", {bearer()});
  Client other(port_);
  EXPECT_EQ(other.ask(http::verb::get, "/api/fast", {bearer()}).result_int(), 200);
  EXPECT_EQ(other.ask(http::verb::get, "/").result_int(), 200);
  release.set_value();
  EXPECT_EQ(waiting.receive().result_int(), 200);
  const std::lock_guard lock(mutex_);
  ASSERT_EQ(handlerThreads_.size(), 2u);
  for (const std::thread::id thread : handlerThreads_) {
    EXPECT_NE(thread, serving_.get_id());
  }
}

TEST_F(PanelHttp, ThePageIsServedWithoutTheTokenAndHoldsOnlyItsOwnFiles) {
  start();
  Client client(port_);
  const Response page = client.ask(http::verb::get, "/");
  EXPECT_EQ(page.result_int(), 200);
  EXPECT_EQ(page[http::field::content_type], "text/html; charset=utf-8");
  ASSERT_NE(findPanelAsset("index.html"), nullptr);
  EXPECT_EQ(page.body(), findPanelAsset("index.html")->content);
  EXPECT_EQ(page["Content-Security-Policy"], Csp);
  EXPECT_EQ(page["X-Content-Type-Options"], "nosniff");
  EXPECT_EQ(page["Referrer-Policy"], "no-referrer");
  EXPECT_EQ(page[http::field::cache_control], "no-store");
  EXPECT_EQ(page["X-Frame-Options"], "DENY");
  expectNoCors(page);

  const Response script = client.ask(http::verb::get, "/panel.js");
  EXPECT_EQ(script.result_int(), 200);
  EXPECT_EQ(script[http::field::content_type], "text/javascript; charset=utf-8");
  EXPECT_EQ(script.body(), findPanelAsset("panel.js")->content);
  EXPECT_EQ(client.ask(http::verb::get, "/panel.css")[http::field::content_type],
            "text/css; charset=utf-8");

  const Response missing = client.ask(http::verb::get, "/secret.js");
  EXPECT_EQ(missing.result_int(), 404);
  EXPECT_EQ(missing.body(), "not found\n");
  const Response posted =
      client.ask(http::verb::post, "/", {{"Origin", origin()}}, "{\"brightness\":1}");
  EXPECT_EQ(posted.result_int(), 405);
  EXPECT_EQ(posted[http::field::allow], "GET");
  EXPECT_TRUE(received().empty());
}

TEST_F(PanelHttp, AHostOtherThanThePanelsIsRefusedAgainstDnsRebinding) {
  start();
  const std::string port = std::to_string(port_);
  for (const std::string& host : {"attacker.example:" + port, "127.0.0.1:1" + port,
                                  "127.0.0.2:" + port, "localhost.attacker.example:" + port}) {
    for (const char* target : {"/", "/api/cameras"}) {
      Client client(port_);
      const Response response = client.ask(http::verb::get, target, {{"Host", host}, bearer()});
      EXPECT_EQ(response.result_int(), 403) << host << target;
      EXPECT_EQ(response.body(), "{\"error\":\"this panel answers only at 127.0.0.1:" + port +
                                     " or localhost:" + port + "\"}\n");
      expectNoCors(response);
    }
  }
  Client noHost(port_);
  noHost.send("GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(noHost.receive().result_int(), 403);
  EXPECT_TRUE(received().empty());

  Client named(port_);
  EXPECT_EQ(named.ask(http::verb::get, "/api/cameras", {{"Host", "LocalHost:" + port}, bearer()})
                .result_int(),
            200);
}

TEST_F(PanelHttp, RequestsThatChangeSomethingNeedThePanelsOrigin) {
  start();
  const std::string port = std::to_string(port_);
  for (const http::verb method : {http::verb::put, http::verb::post, http::verb::delete_}) {
    for (const std::string& origin : std::vector<std::string>{
             std::string(), "null", "http://attacker.example:" + port, "https://127.0.0.1:" + port,
             "http://localhost:" + port, "http://127.0.0.1:1"}) {
      std::vector<std::pair<std::string, std::string>> fields{bearer()};
      if (!origin.empty()) {
        fields.emplace_back("Origin", origin);
      }
      // Each on a connection of its own: a refusal before the body is read ends the connection.
      Client client(port_);
      const Response response = client.ask(method, "/api/cameras/A/settings", fields, "{}");
      EXPECT_EQ(response.result_int(), 403) << origin;
      EXPECT_FALSE(response.keep_alive());
      EXPECT_EQ(response.body(),
                "{\"error\":\"a request that changes something needs the Origin of the panel's "
                "page: Origin: http://127.0.0.1:" +
                    port + "\"}\n");
      expectNoCors(response);
    }
  }
  EXPECT_TRUE(received().empty());

  Client right(port_);
  const Response response = right.ask(
      http::verb::put, "/api/cameras/A/settings",
      {bearer(), {"Origin", origin()}, {"Content-Type", "application/json"}}, "{\"brightness\":3}");
  EXPECT_EQ(response.result_int(), 200);
  ASSERT_EQ(received().size(), 1u);
  EXPECT_EQ(received()[0].method, "PUT");
  EXPECT_EQ(received()[0].contentType, "application/json");
  EXPECT_EQ(received()[0].body, "{\"brightness\":3}");
  // The Origin that goes with the Host the browser named.
  Client named(port_);
  EXPECT_EQ(
      named
          .ask(http::verb::delete_, "/api/profiles/A",
               {bearer(), {"Host", "localhost:" + port}, {"Origin", "http://localhost:" + port}})
          .result_int(),
      200);
}

TEST_F(PanelHttp, NoAnswerCarriesCorsHeadersNotEvenWhenTheInterfaceAsks) {
  PanelServerOptions permissive = options();
  permissive.handler = [](const PanelRequest&) {
    return PanelResponse{200,
                         "application/json",
                         "{}",
                         {{"Access-Control-Allow-Origin", "*"},
                          {"access-control-allow-credentials", "true"},
                          {"Content-Disposition", "attachment; filename=\"profile.json\""},
                          {"X-Injected", "a\r\nSet-Cookie: x=1"},
                          {"Content-Security-Policy", "default-src *"}}};
  };
  start(std::move(permissive));
  Client client(port_);
  const Response response = client.ask(http::verb::get, "/api/profiles/A", {bearer()});
  EXPECT_EQ(response.result_int(), 200);
  expectNoCors(response);
  EXPECT_EQ(response[http::field::content_disposition], "attachment; filename=\"profile.json\"");
  EXPECT_EQ(response.count("X-Injected"), 0u);
  EXPECT_EQ(response.count(http::field::set_cookie), 0u);
  EXPECT_EQ(response["Content-Security-Policy"], Csp);
  EXPECT_EQ(response.count("Content-Security-Policy"), 1u);

  // A preflight is not answered as one.
  const Response preflight =
      client.ask(http::verb::options, "/api/profiles/A",
                 {{"Origin", "http://attacker.example"}, {"Access-Control-Request-Method", "PUT"}});
  EXPECT_NE(preflight.result_int(), 200);
  expectNoCors(preflight);
}

TEST_F(PanelHttp, ABodyOverTheRoutesLimitIsRefusedBeforeItIsRead) {
  PanelServerOptions limited = options();
  limited.bodyLimit = [](const std::string& method, const std::string& path) -> std::size_t {
    return method == "POST" && path == "/api/update" ? 64 : 16;
  };
  start(std::move(limited));
  const std::vector<std::pair<std::string, std::string>> allowed{bearer(), {"Origin", origin()}};

  // Only the head is sent: the answer comes without waiting for the body.
  Client announced(port_);
  announced.send("PUT /api/cameras/A/settings HTTP/1.1\r\nHost: " + announced.host() +
                 "\r\nAuthorization: Bearer " + Token + "\r\nOrigin: " + origin() +
                 "\r\nContent-Length: 17\r\n\r\n");
  const Response refused = announced.receive();
  EXPECT_EQ(refused.result_int(), 413);
  EXPECT_EQ(refused.body(),
            "{\"error\":\"the request's body is larger than the 16 bytes that "
            "/api/cameras/A/settings takes\"}\n");
  EXPECT_FALSE(refused.keep_alive());
  EXPECT_TRUE(announced.closedWithin(3s));

  Client sent(port_);
  EXPECT_EQ(sent.ask(http::verb::post, "/api/update", allowed, std::string(65, 'x')).result_int(),
            413);
  Client chunked(port_);
  chunked.send(
      "PUT /api/a HTTP/1.1\r\nHost: " + chunked.host() + "\r\nAuthorization: Bearer " + Token +
      "\r\nOrigin: " + origin() +
      "\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n0123456789abcdef\r\n1\r\nx\r\n0\r\n\r\n");
  EXPECT_EQ(chunked.receive().result_int(), 413);
  EXPECT_TRUE(received().empty());

  Client fits(port_);
  EXPECT_EQ(fits.ask(http::verb::post, "/api/update", allowed, std::string(64, 'x')).result_int(),
            200);
  ASSERT_EQ(received().size(), 1u);
  EXPECT_EQ(received()[0].body, std::string(64, 'x'));
}

TEST_F(PanelHttp, AClientThatAsksBeforeSendingALargeBodyIsToldToGoOn) {
  start();
  Client client(port_);
  client.send("POST /api/update HTTP/1.1\r\nHost: " + client.host() + "\r\nAuthorization: Bearer " +
              Token + "\r\nOrigin: " + origin() +
              "\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\n");
  EXPECT_EQ(client.receive().result_int(), 100);
  client.send("image");
  EXPECT_EQ(client.receive().result_int(), 200);
  ASSERT_EQ(received().size(), 1u);
  EXPECT_EQ(received()[0].body, "image");
}

TEST_F(PanelHttp, MalformedRequestsGet400AndReachNothing) {
  start();
  const std::string auth = "Authorization: Bearer " + Token + "\r\n";
  const std::string host = "Host: 127.0.0.1:" + std::to_string(port_) + "\r\n";
  const std::string origin = "Origin: " + this->origin() + "\r\n";
  for (const std::string& request : {
           std::string("GARBAGE\r\n\r\n"),
           "GET /api/cameras HTTP/9.x\r\n" + host + auth + "\r\n",
           "GET /api/cameras HTTP/1.1\r\n" + host + "Bad Header\r\n" + auth + "\r\n",
           "PUT /api/a HTTP/1.1\r\n" + host + auth + origin + "Content-Length: abc\r\n\r\n{}",
           "PUT /api/a HTTP/1.1\r\n" + host + auth + origin +
               "Content-Length: 2\r\nContent-Length: 3\r\n\r\n{}",
           "GET /api/cameras/%zz HTTP/1.1\r\n" + host + auth + "\r\n",
           "GET /api/cameras/a%00b HTTP/1.1\r\n" + host + auth + "\r\n",
           "GET /api/cameras?name=%4 HTTP/1.1\r\n" + host + auth + "\r\n",
           "GET http://127.0.0.1/api/cameras HTTP/1.1\r\n" + host + auth + "\r\n",
           "PUT /api/a HTTP/1.1\r\n" + host + auth + origin +
               "Transfer-Encoding: chunked\r\n\r\nzz\r\n{}\r\n0\r\n\r\n",
       }) {
    Client client(port_);
    client.send(request);
    const Response response = client.receive();
    EXPECT_EQ(response.result_int(), 400) << request;
    EXPECT_EQ(response.body().rfind("{\"error\":\"malformed request", 0), 0u) << response.body();
    EXPECT_EQ(response["Content-Security-Policy"], Csp);
  }
  Client huge(port_);
  huge.send("GET / HTTP/1.1\r\n" + host + "X-Filler: " + std::string(20000, 'a') + "\r\n\r\n");
  EXPECT_EQ(huge.receive().result_int(), 431);
  Client unknown(port_);
  EXPECT_EQ(unknown.ask(http::verb::patch, "/api/a", {bearer(), {"Origin", this->origin()}}, "{}")
                .result_int(),
            405);
  EXPECT_TRUE(received().empty());
}

TEST_F(PanelHttp, TheInterfaceFailingIsAnAnswerNotACrash) {
  PanelServerOptions failing = options();
  failing.handler = [](const PanelRequest& request) -> PanelResponse {
    if (request.path == "/api/status") {
      return PanelResponse{42, "application/json", "{}", {}};
    }
    throw std::runtime_error("the camera list broke");
  };
  start(std::move(failing));
  Client client(port_);
  const Response thrown = client.ask(http::verb::get, "/api/cameras", {bearer()});
  EXPECT_EQ(thrown.result_int(), 500);
  EXPECT_EQ(thrown.body(), "{\"error\":\"the panel failed: the camera list broke\"}\n");
  EXPECT_EQ(client.ask(http::verb::get, "/api/status", {bearer()}).result_int(), 500);
}

TEST_F(PanelHttp, AnEventStreamStartsWithTheInitialEventsThenCarriesEveryPublishedOne) {
  PanelServerOptions streaming = options();
  streaming.initialEvents = [] {
    return std::vector<PanelEvent>{{"cameras", "[{\"serial\":\"K3M51-A001\"}]"},
                                   {"update", "{\n\"serial\":\"K3M51-A001\",\"page\":3}"}};
  };
  start(std::move(streaming));
  Client refused(port_);
  EXPECT_EQ(refused.ask(http::verb::get, "/api/events").result_int(), 401);

  Client client(port_);
  client.send(http::verb::get, "/api/events", {bearer()});
  const http::response_header<> head = client.receiveHead();
  EXPECT_EQ(head.result_int(), 200);
  EXPECT_EQ(head[http::field::content_type], "text/event-stream");
  EXPECT_EQ(head[http::field::transfer_encoding], "chunked");
  EXPECT_EQ(head[http::field::cache_control], "no-store");
  EXPECT_EQ(head["Content-Security-Policy"], Csp);
  const std::string initial =
      "event: cameras\ndata: [{\"serial\":\"K3M51-A001\"}]\n\n"
      "event: update\ndata: {\ndata: \"serial\":\"K3M51-A001\",\"page\":3}\n\n";
  EXPECT_EQ(client.readEvents(initial.size()), initial);

  server_->events().publish({"camera-left", "{\"serial\":\"K3M51-A001\"}"});
  server_->events().publish({"cameras", "[]"});
  const std::string published =
      "event: camera-left\ndata: {\"serial\":\"K3M51-A001\"}\n\nevent: cameras\ndata: []\n\n";
  EXPECT_EQ(client.readEvents(initial.size() + published.size()), initial + published);
}

TEST_F(PanelHttp, AnIdleEventStreamIsPingedSoThatAClientGoneIsNoticed) {
  PanelServerOptions pinged = options();
  pinged.pingInterval = 50ms;
  start(std::move(pinged));
  Client client(port_);
  client.send(http::verb::get, "/api/events", {bearer()});
  client.receiveHead();
  EXPECT_EQ(client.readEvents(16), ": ping\n\n: ping\n\n");
}

TEST_F(PanelHttp, AClientThatStopsReadingIsDroppedWithoutHoldingUpAnother) {
  PanelServerOptions bounded = options();
  bounded.streamQueueBytes = 64 * 1024;
  start(std::move(bounded));
  Client stalled(port_, 4096);
  stalled.send(http::verb::get, "/api/events", {bearer()});
  Client reader(port_);
  reader.send(http::verb::get, "/api/events", {bearer()});
  reader.receiveHead();
  // Both streams are open before anything is published.
  server_->events().publish({"ready", "{}"});
  std::string expected = eventText({"ready", "{}"});
  ASSERT_EQ(reader.readEvents(expected.size()), expected);

  // Published a few at a time, within what the queue takes, and each read by the one client
  // before the next few: it never waits on the one that reads nothing.
  const PanelEvent big{"big", "\"" + std::string(8 * 1024, 'v') + "\""};
  const std::string bigText = eventText(big);
  constexpr std::size_t Rounds = 400;
  constexpr std::size_t EventsPerRound = 4;
  for (std::size_t round = 0; round < Rounds; ++round) {
    for (std::size_t i = 0; i < EventsPerRound; ++i) {
      server_->events().publish(big);
      expected += bigText;
    }
    if (reader.readEvents(expected.size()).size() != expected.size()) {
      break;
    }
  }
  // Compared whole, without printing megabytes when they differ.
  EXPECT_TRUE(reader.readEvents(expected.size()) == expected);
  EXPECT_TRUE(stalled.closedWithin(5s));
}

TEST_F(PanelHttp, StopsWithinASecondWithStreamsAndConnectionsOpen) {
  start();
  Client first(port_);
  first.send(http::verb::get, "/api/events", {bearer()});
  first.receiveHead();
  Client second(port_);
  second.send(http::verb::get, "/api/events", {bearer()});
  second.receiveHead();
  Client idle(port_);
  EXPECT_EQ(idle.ask(http::verb::get, "/").result_int(), 200);
  Client silent(port_);

  EXPECT_LT(stopServer(), 1s);
  EXPECT_TRUE(first.closedWithin(1s));
  EXPECT_TRUE(second.closedWithin(1s));
  EXPECT_TRUE(idle.closedWithin(1s));
  EXPECT_TRUE(silent.closedWithin(1s));
  EXPECT_THROW(Client late(port_), boost::system::system_error);
}

TEST_F(PanelHttp, ConnectionsPastTheBoundAreClosedAtOnce) {
  PanelServerOptions few = options();
  few.maxConnections = 2;
  start(std::move(few));
  Client first(port_);
  Client second(port_);
  EXPECT_EQ(first.ask(http::verb::get, "/").result_int(), 200);
  EXPECT_EQ(second.ask(http::verb::get, "/").result_int(), 200);
  Client third(port_);
  EXPECT_TRUE(third.closedWithin(2s));
  EXPECT_EQ(first.ask(http::verb::get, "/panel.js").result_int(), 200);
}

TEST_F(PanelHttp, AClientThatSendsNothingIsClosedAfterTheHeadTimeout) {
  PanelServerOptions impatient = options();
  impatient.headTimeout = 200ms;
  start(std::move(impatient));
  Client silent(port_);
  Client partial(port_);
  partial.send("GET / HTTP/1.1\r\nHost: ");
  EXPECT_TRUE(silent.closedWithin(3s));
  EXPECT_TRUE(partial.closedWithin(3s));
}

TEST_F(PanelHttp, APortInUseIsSaid) {
  start();
  PanelServerOptions same = options();
  same.port = port_;
  try {
    PanelServer second(std::move(same), stop_);
    ADD_FAILURE() << "a second server listened on the same port";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what())
                  .rfind("the panel cannot listen on 127.0.0.1:" + std::to_string(port_) + ": ", 0),
              0u)
        << error.what();
  }
}

TEST(PanelSecurity, TokensAre256RandomBitsInHexadecimal) {
  const std::string first = makePanelToken();
  const std::string second = makePanelToken();
  EXPECT_EQ(first.size(), 64u);
  EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(first, second);
}

TEST(PanelSecurity, SecretsCompareWholeAndExactly) {
  EXPECT_TRUE(sameSecret("abcdef", "abcdef"));
  EXPECT_FALSE(sameSecret("abcdeF", "abcdef"));
  EXPECT_FALSE(sameSecret("abcde", "abcdef"));
  EXPECT_FALSE(sameSecret("abcdefa", "abcdef"));
  EXPECT_FALSE(sameSecret("", "abcdef"));
  EXPECT_FALSE(sameSecret(std::string_view("abc\0ef", 6), "abcdef"));
}

TEST(PanelSecurity, BearerTokensHostsAndOrigins) {
  EXPECT_EQ(bearerToken("Bearer abc"), std::optional<std::string_view>("abc"));
  EXPECT_EQ(bearerToken("BEARER   abc  "), std::optional<std::string_view>("abc"));
  EXPECT_EQ(bearerToken("Bearerabc"), std::nullopt);
  EXPECT_EQ(bearerToken("Bearer "), std::nullopt);
  EXPECT_EQ(bearerToken("Basic abc"), std::nullopt);

  EXPECT_EQ(panelHost("127.0.0.1:8080", 8080), std::optional<std::string>("127.0.0.1:8080"));
  EXPECT_EQ(panelHost("LOCALHOST:8080", 8080), std::optional<std::string>("localhost:8080"));
  EXPECT_EQ(panelHost("localhost", 80), std::optional<std::string>("localhost"));
  EXPECT_EQ(panelHost("localhost", 8080), std::nullopt);
  EXPECT_EQ(panelHost("127.0.0.1:80800", 8080), std::nullopt);
  EXPECT_EQ(panelHost("[::1]:8080", 8080), std::nullopt);
  EXPECT_EQ(panelHost("", 8080), std::nullopt);

  EXPECT_TRUE(isPanelOrigin("http://127.0.0.1:8080", "127.0.0.1:8080"));
  EXPECT_FALSE(isPanelOrigin("http://127.0.0.1:8080/", "127.0.0.1:8080"));
  EXPECT_FALSE(isPanelOrigin("http://localhost:8080", "127.0.0.1:8080"));
  EXPECT_FALSE(isPanelOrigin("", "127.0.0.1:8080"));
}

TEST(PanelTarget, PathAndQueryAreDecoded) {
  const std::optional<RequestTarget> target =
      decodeTarget("/api/cameras/K3M51%2dA001/controls/20?value=1+2&raw=a%2Bb&empty&=x#frag");
  ASSERT_TRUE(target);
  EXPECT_EQ(target->path, "/api/cameras/K3M51-A001/controls/20");
  EXPECT_EQ(target->query, (std::map<std::string, std::string>{
                               {"value", "1 2"}, {"raw", "a+b"}, {"empty", ""}, {"", "x"}}));
  EXPECT_EQ(decodeTarget("/a+b")->path, "/a+b");
  EXPECT_FALSE(decodeTarget("*"));
  EXPECT_FALSE(decodeTarget("/a%2"));
  EXPECT_FALSE(decodeTarget("/a%0a"));
  EXPECT_FALSE(decodeTarget("/a?b=%1"));
}

TEST(PanelEventText, EachLineOfAnEventsDataIsADataLine) {
  EXPECT_EQ(eventText({"update", "{\"page\":1}"}), "event: update\ndata: {\"page\":1}\n\n");
  EXPECT_EQ(eventText({"a\nb", "1\r\n2\n"}), "event: ab\ndata: 1\ndata: 2\ndata: \n\n");
}

}  // namespace
