// The server's answers, each with the headers that keep the browser strict about the panel: what
// the page may load and run (nothing but its own files), no framing, no guessing of types, no
// referrer, nothing cached. No answer ever carries a CORS header.
#pragma once

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <string>
#include <string_view>

#include "panel_http.h"

using HttpResponse = boost::beast::http::response<boost::beast::http::string_body>;

inline constexpr std::string_view ContentSecurityPolicy =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; media-src 'self' blob: mediastream:; frame-ancestors 'none'; "
    "base-uri 'none'; form-action 'none'";

// Sets the headers every answer carries, over any of the same name.
template <class Body>
void setSecurityHeaders(boost::beast::http::response<Body>& response) {
  using boost::beast::http::field;
  response.set("Content-Security-Policy", ContentSecurityPolicy);
  response.set("X-Content-Type-Options", "nosniff");
  response.set("Referrer-Policy", "no-referrer");
  response.set(field::cache_control, "no-store");
  response.set(field::x_frame_options, "DENY");
  response.set("Cross-Origin-Opener-Policy", "same-origin");
  response.set("Cross-Origin-Resource-Policy", "same-origin");
}

// An answer with its body, its length and the security headers.
HttpResponse makeResponse(unsigned status, std::string_view contentType, std::string body,
                          unsigned httpVersion, bool keepAlive);

// A refusal, as the interface words its own: {"error": MESSAGE}.
HttpResponse errorResponse(unsigned status, std::string_view message, unsigned httpVersion,
                           bool keepAlive);

// The interface's answer, less any header of its own that the server owns or that would break
// the answer (a CORS header, a line break in a value).
HttpResponse fromPanelResponse(PanelResponse answer, unsigned httpVersion, bool keepAlive);
