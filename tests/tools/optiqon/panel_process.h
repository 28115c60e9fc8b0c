// `optiqon_sim panel` run as a process in a scratch folder, as a user starts it, and what a script
// does with it: requests over HTTP that carry the run's token, and its event stream read as it
// comes. Each wait is bounded, so that a panel that hangs fails its test instead of holding it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace panel_test {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using Json = nlohmann::ordered_json;
using namespace std::chrono_literals;

// The panel started with `--no-browser` (on a free port) in `folder`, its scenario pc.scenario
// there and its kept profiles under config/; its standard error goes to panel.err.
class PanelProcess {
 public:
  explicit PanelProcess(const std::filesystem::path& folder) {
    int out[2];
    if (pipe(out) != 0) {
      throw std::runtime_error("no pipe for the panel's output");
    }
    process_ = fork();
    if (process_ < 0) {
      throw std::runtime_error("cannot start the panel");
    }
    if (process_ == 0) {
      const int errors = open((folder / "panel.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (chdir(folder.c_str()) != 0 || errors < 0 || dup2(out[1], 1) < 0 || dup2(errors, 2) < 0) {
        _exit(127);
      }
      close(out[0]);
      setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
      setenv("OPTIQON_SIM_CAMERA", "pc.scenario", 1);
      execl(OPTIQON_SIM_PATH, "optiqon_sim", "panel", "--no-browser", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    output_ = out[0];
    readAddress(firstLine());
  }

  ~PanelProcess() {
    if (process_ > 0) {
      kill(process_, SIGKILL);
      waitpid(process_, nullptr, 0);
    }
    close(output_);
  }
  PanelProcess(const PanelProcess&) = delete;
  PanelProcess& operator=(const PanelProcess&) = delete;

  std::uint16_t port() const { return port_; }
  const std::string& token() const { return token_; }
  const std::string& address() const { return address_; }

  // Whether it still runs: a request that ended it is a fault however it was answered.
  bool running() { return process_ > 0 && waitpid(process_, nullptr, WNOHANG) == 0; }

  // Its exit code after SIGTERM, and how long it took to end; -1 when a signal ended it.
  std::pair<int, std::chrono::milliseconds> stop() {
    const auto asked = std::chrono::steady_clock::now();
    kill(process_, SIGTERM);
    int status = 0;
    waitpid(process_, &status, 0);
    process_ = -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  asked)};
  }

 private:
  std::string firstLine() {
    std::string line;
    const auto limit = std::chrono::steady_clock::now() + 20s;
    char c = 0;
    while (std::chrono::steady_clock::now() < limit) {
      pollfd ready{output_, POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) {
        continue;
      }
      if (read(output_, &c, 1) != 1 || c == '\n') {
        break;
      }
      line += c;
    }
    return line;
  }

  void readAddress(const std::string& line) {
    static const std::regex form(R"(http://127\.0\.0\.1:(\d+)/#token=([0-9a-f]+))");
    std::smatch parts;
    if (!std::regex_match(line, parts, form)) {
      throw std::runtime_error("the panel's first line is not its address: '" + line + "'");
    }
    address_ = line;
    port_ = static_cast<std::uint16_t>(std::stoi(parts[1].str()));
    token_ = parts[2].str();
  }

  pid_t process_ = -1;
  int output_ = -1;
  std::string address_;
  std::uint16_t port_ = 0;
  std::string token_;
};

struct Answer {
  int status = 0;
  std::string contentType;
  std::string body;
  http::fields headers;

  Json json() const { return Json::parse(body); }
};

// Requests as a script sends them: the token, the Host and the Origin the panel's rules ask for.
class PanelClient {
 public:
  explicit PanelClient(const PanelProcess& panel) : port_(panel.port()), token_(panel.token()) {}

  std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

  Answer ask(http::verb method, const std::string& target, const std::string& body = "",
             const std::string& contentType = "application/json") const {
    asio::io_context io;
    beast::tcp_stream stream(io);
    stream.socket().connect(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port_));
    http::request<http::string_body> request{method, target, 11};
    request.set(http::field::host, "127.0.0.1:" + std::to_string(port_));
    request.set(http::field::authorization, "Bearer " + token_);
    if (method != http::verb::get) {
      request.set(http::field::origin, origin());
      request.set(http::field::content_type, contentType);
    }
    request.body() = body;
    request.prepare_payload();
    beast::error_code error;
    stream.expires_after(60s);
    http::async_write(stream, request,
                      [&error](beast::error_code failure, std::size_t) { error = failure; });
    io.run();
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.body_limit(64 * 1024 * 1024);
    io.restart();
    // A body refused before it was read may close the connection while it is still written:
    // the answer is read all the same.
    http::async_read(stream, buffer, parser,
                     [&error](beast::error_code failure, std::size_t) { error = failure; });
    io.run();
    if (error) {
      throw std::runtime_error("no answer to " + target + ": " + error.message());
    }
    http::response<http::string_body> response = parser.release();
    return {static_cast<int>(response.result_int()),
            std::string(response[http::field::content_type]), response.body(), response.base()};
  }

  Answer get(const std::string& target) const { return ask(http::verb::get, target); }
  Answer put(const std::string& target, const std::string& body) const {
    return ask(http::verb::put, target, body);
  }
  Answer post(const std::string& target, const std::string& body = "",
              const std::string& contentType = "application/json") const {
    return ask(http::verb::post, target, body, contentType);
  }
  Answer remove(const std::string& target) const { return ask(http::verb::delete_, target); }

 private:
  std::uint16_t port_;
  std::string token_;
};

struct StreamedEvent {
  std::string name;
  Json data;
};

// GET /api/events, read on a thread of its own as the events come.
class EventStream {
 public:
  explicit EventStream(const PanelProcess& panel) : stream_(io_) {
    stream_.socket().connect(
        asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), panel.port()));
    http::request<http::empty_body> request{http::verb::get, "/api/events", 11};
    request.set(http::field::host, "127.0.0.1:" + std::to_string(panel.port()));
    request.set(http::field::authorization, "Bearer " + panel.token());
    http::write(stream_.socket(), request);
    reader_ = std::thread([this] { read(); });
  }
  ~EventStream() {
    beast::error_code ignored;
    stream_.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    reader_.join();
  }
  EventStream(const EventStream&) = delete;
  EventStream& operator=(const EventStream&) = delete;

  // The events so far, once one of those after the first `after` satisfies `wanted` or 20 s
  // passed.
  std::vector<StreamedEvent> waitFor(const std::function<bool(const StreamedEvent&)>& wanted,
                                     std::size_t after = 0) {
    std::unique_lock<std::mutex> lock(guard_);
    arrived_.wait_for(lock, 20s, [&] {
      return std::any_of(
          events_.begin() + static_cast<std::ptrdiff_t>(std::min(after, events_.size())),
          events_.end(), wanted);
    });
    return events_;
  }

  std::vector<StreamedEvent> waitForCount(std::size_t count) {
    std::unique_lock<std::mutex> lock(guard_);
    arrived_.wait_for(lock, 20s, [&] { return events_.size() >= count; });
    return events_;
  }

 private:
  void read() {
    http::response_parser<http::string_body> parser;
    parser.body_limit(boost::none);
    std::function<std::size_t(std::uint64_t, beast::string_view, beast::error_code&)> chunk =
        [this](std::uint64_t, beast::string_view body, beast::error_code&) {
          take(std::string(body));
          return body.size();
        };
    parser.on_chunk_body(chunk);
    beast::flat_buffer buffer;
    beast::error_code error;
    http::read(stream_.socket(), buffer, parser, error);
  }

  // Each event ends with a blank line: "event: NAME\ndata: JSON\n\n"; comments (": ping") are
  // left out.
  void take(const std::string& text) {
    const std::lock_guard<std::mutex> lock(guard_);
    pending_ += text;
    for (std::size_t end; (end = pending_.find("\n\n")) != std::string::npos;) {
      const std::string block = pending_.substr(0, end);
      pending_.erase(0, end + 2);
      StreamedEvent event;
      std::string data;
      std::size_t start = 0;
      while (start <= block.size()) {
        const std::size_t stop = std::min(block.find('\n', start), block.size());
        const std::string line = block.substr(start, stop - start);
        if (line.rfind("event: ", 0) == 0) {
          event.name = line.substr(7);
        } else if (line.rfind("data: ", 0) == 0) {
          data += line.substr(6);
        }
        start = stop + 1;
      }
      if (!event.name.empty()) {
        event.data = Json::parse(data);
        events_.push_back(std::move(event));
      }
    }
    arrived_.notify_all();
  }

  asio::io_context io_;
  beast::tcp_stream stream_;
  std::thread reader_;
  std::mutex guard_;
  std::condition_variable arrived_;
  std::string pending_;
  std::vector<StreamedEvent> events_;
};

}  // namespace panel_test
