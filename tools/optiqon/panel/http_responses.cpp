#include "http_responses.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

namespace http = boost::beast::http;

namespace {

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

bool breaksHeader(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool mayPass(const std::string& name, const std::string& value) {
  if (name.empty() || breaksHeader(name) || breaksHeader(value) ||
      name.find_first_of(" :\t") != std::string::npos) {
    return false;
  }
  for (const std::string_view owned :
       {"access-control-", "content-length", "transfer-encoding", "connection", "content-type"}) {
    if (startsWithIgnoringCase(name, owned)) {
      return false;
    }
  }
  return true;
}

}  // namespace

HttpResponse makeResponse(unsigned status, std::string_view contentType, std::string body,
                          unsigned httpVersion, bool keepAlive) {
  HttpResponse response{static_cast<http::status>(status), httpVersion};
  response.set(http::field::content_type, contentType);
  response.body() = std::move(body);
  response.keep_alive(keepAlive);
  setSecurityHeaders(response);
  response.prepare_payload();
  return response;
}

HttpResponse errorResponse(unsigned status, std::string_view message, unsigned httpVersion,
                           bool keepAlive) {
  const nlohmann::json body = {{"error", std::string(message)}};
  return makeResponse(status, "application/json", body.dump() + "\n", httpVersion, keepAlive);
}

HttpResponse fromPanelResponse(PanelResponse answer, unsigned httpVersion, bool keepAlive) {
  // A final answer's status is 200 to 599; anything else is the interface's fault.
  if (answer.status < 200 || answer.status > 599) {
    return errorResponse(500, "the panel's interface gave no valid answer", httpVersion, keepAlive);
  }
  if (breaksHeader(answer.contentType)) {
    answer.contentType = "application/octet-stream";
  }
  HttpResponse response = makeResponse(static_cast<unsigned>(answer.status), answer.contentType,
                                       std::move(answer.body), httpVersion, keepAlive);
  for (const auto& [name, value] : answer.headers) {
    if (mayPass(name, value)) {
      response.insert(name, value);
    }
  }
  setSecurityHeaders(response);
  return response;
}
