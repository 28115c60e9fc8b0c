// The routes of the panel's interface, the camera each addresses opened for the request alone,
// and every failure turned into an answer: the camera's and the request's faults are the
// caller's to read, never the end of the panel.
#include "panel_api.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <functional>
#include <string_view>

#include "../kept_values.h"
#include "camera_access.h"
#include "camera_presence.h"
#include "panel_routes.h"
#include "update_jobs.h"

namespace {

constexpr std::string_view CamerasPath = "/api/cameras";
constexpr std::string_view CameraPathPrefix = "/api/cameras/";

// Larger than any JSON request of the interface: a profile is about a kilobyte.
constexpr std::size_t LargestJsonBody = 1024 * 1024;
// No request of the interface nests its JSON deeper (a profile nests three deep).
constexpr int MostJsonNesting = 8;
// How much of a message an answer carries: a message quotes the value, and a body may hold a
// value of a megabyte.
constexpr std::size_t MostMessageCharacters = 300;

constexpr std::string_view UpdateAction = "update";

// The camera a path names and what is asked of it: /api/cameras/SERIAL/ACTION. The serial number
// is all between the prefix and the last '/', so that one holding a '/' (sent as %2F) still
// names its camera.
struct CameraRoute {
  CameraAddress address;
  std::string action;
};

std::optional<CameraRoute> cameraRouteOf(const PanelRequest& request) {
  const std::string& path = request.path;
  if (path.rfind(CameraPathPrefix, 0) != 0) {
    return std::nullopt;
  }
  const std::size_t slash = path.rfind('/');
  if (slash <= CameraPathPrefix.size()) {
    return std::nullopt;
  }
  CameraRoute route;
  route.address.serial = path.substr(CameraPathPrefix.size(), slash - CameraPathPrefix.size());
  route.action = path.substr(slash + 1);
  if (const auto location = request.query.find("location"); location != request.query.end()) {
    route.address.location = location->second;
  }
  return route;
}

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The media type alone, without its parameters (charset=utf-8).
std::string mediaType(const std::string& contentType) {
  std::string type = contentType.substr(0, contentType.find(';'));
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  type.erase(type.begin(), std::find_if_not(type.begin(), type.end(), blank));
  type.erase(std::find_if_not(type.rbegin(), type.rend(), blank).base(), type.end());
  return lowerCase(type);
}

void requireType(const PanelRequest& request, std::string_view type) {
  if (mediaType(request.contentType) != type) {
    throw RouteFailure(UnsupportedMediaType,
                       "expected a body of type " + std::string(type) + ", not '" +
                           request.contentType.substr(0, MostMessageCharacters) + "'");
  }
}

// A query parameter that is a yes or no: absent, 0 or false for no; present, 1 or true for yes.
bool flagOf(const PanelRequest& request, const std::string& name) {
  const auto given = request.query.find(name);
  if (given == request.query.end()) {
    return false;
  }
  const std::string value = lowerCase(given->second);
  if (value.empty() || value == "1" || value == "true") {
    return true;
  }
  if (value == "0" || value == "false") {
    return false;
  }
  throw RouteFailure(BadRequest, "the query parameter " + name + " is 1, true, 0 or false, not '" +
                                     given->second.substr(0, MostMessageCharacters) + "'");
}

std::string cut(const std::string& message) {
  return message.size() <= MostMessageCharacters ? message
                                                 : message.substr(0, MostMessageCharacters) + "...";
}

PanelResponse noSuchRoute(const PanelRequest& request) {
  return failureAnswer(NotFound, "no such route: " + request.method + " " + cut(request.path));
}

PanelResponse methodNotAllowed(const std::string& allowed) {
  PanelResponse answer = failureAnswer(MethodNotAllowed, "this route takes " + allowed);
  answer.headers.emplace_back("Allow", allowed);
  return answer;
}

int statusOf(const CommandFailure& failure) {
  switch (failure.exitCode()) {
    case NoCamera:
      return NotFound;
    case BadUsage:
      return BadRequest;
    default:
      return Unprocessable;
  }
}

}  // namespace

PanelResponse jsonAnswer(int status, const Json& body) {
  return {status,
          "application/json",
          body.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n",
          {}};
}

PanelResponse failureAnswer(int status, const std::string& message, const Json& problems) {
  Json body{{"error", message}};
  if (!problems.is_null()) {
    body["problems"] = problems;
  }
  return jsonAnswer(status, body);
}

Json problem(const std::optional<std::string>& name, const std::string& message) {
  return {{"name", name ? Json(*name) : Json(nullptr)}, {"message", cut(message)}};
}

Json jsonBody(const PanelRequest& request) {
  requireType(request, "application/json");
  const Json::parser_callback_t bounded = [](int depth, Json::parse_event_t event, Json&) {
    if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
        depth >= MostJsonNesting) {
      throw RouteFailure(BadRequest, "the body nests values more than " +
                                         std::to_string(MostJsonNesting) + " deep");
    }
    return true;
  };
  try {
    return Json::parse(request.body, bounded);
  } catch (const Json::parse_error& error) {
    const std::string what = error.what();
    throw RouteFailure(BadRequest,
                       "the body is not valid JSON: " + cut(what.substr(what.find("] ") + 2)));
  }
}

std::size_t panelBodyLimit(const std::string& method, const std::string& path) {
  const std::optional<CameraRoute> route = cameraRouteOf({method, path, {}, {}, {}});
  const bool image = method == "POST" && route && route->action == UpdateAction;
  return image ? LargestFirmwareImage : LargestJsonBody;
}

struct PanelInterface::Parts {
  Parts(PanelEvents& events, const console::StopRequests& stop)
      : presence(events, stop), updates(events, access) {}

  // Destroyed last to first: the updates, which use the cameras' turns, end first.
  CameraAccess access;
  CameraPresence presence;
  UpdateJobs updates;

  PanelResponse route(const PanelRequest& request);
  PanelResponse cameraRoute(const PanelRequest& request, const CameraRoute& route);
  PanelResponse settingsRoute(const PanelRequest& request, const CameraAddress& address);
  PanelResponse profileRoute(const PanelRequest& request, const CameraAddress& address);
  PanelResponse keptRoute(const PanelRequest& request, const CameraAddress& address);
  PanelResponse updateRoute(const PanelRequest& request, const CameraAddress& address);

  // `work` on the camera `address` names, while no other request uses it.
  PanelResponse withCamera(const CameraAddress& address,
                           const std::function<PanelResponse(Camera&)>& work) {
    CameraInUse inUse =
        access.use(address, [this](const std::string& location) -> std::optional<std::string> {
          if (!updates.runningAt(location)) {
            return std::nullopt;
          }
          return "the camera at " + location +
                 " is having its firmware updated: it answers again after the update's verdict";
        });
    return work(*inUse.camera);
  }
};

PanelResponse PanelInterface::Parts::route(const PanelRequest& request) {
  if (request.path == CamerasPath) {
    if (request.method != "GET") {
      return methodNotAllowed("GET");
    }
    return {200, "application/json", camerasJson(presence.lookAgain()) + "\n", {}};
  }
  const std::optional<CameraRoute> route = cameraRouteOf(request);
  if (!route) {
    return noSuchRoute(request);
  }
  return cameraRoute(request, *route);
}

PanelResponse PanelInterface::Parts::cameraRoute(const PanelRequest& request,
                                                 const CameraRoute& route) {
  const std::string& method = request.method;
  const CameraAddress& address = route.address;
  if (route.action == "settings") {
    return settingsRoute(request, address);
  }
  if (route.action == "save" || route.action == "reset" || route.action == "password") {
    if (method != "POST") {
      return methodNotAllowed("POST");
    }
    if (route.action == "password") {
      const Json body = jsonBody(request);
      return withCamera(address, [&body](Camera& camera) { return sendPassword(camera, body); });
    }
    return withCamera(address, route.action == "save" ? storeSettings : restoreFactorySettings);
  }
  if (route.action == "profile") {
    return profileRoute(request, address);
  }
  if (route.action == "kept") {
    return keptRoute(request, address);
  }
  if (route.action == UpdateAction) {
    return updateRoute(request, address);
  }
  return noSuchRoute(request);
}

PanelResponse PanelInterface::Parts::settingsRoute(const PanelRequest& request,
                                                   const CameraAddress& address) {
  if (request.method == "GET") {
    return withCamera(address, [](Camera& camera) { return jsonAnswer(200, settingsOf(camera)); });
  }
  if (request.method == "PUT") {
    const std::vector<ValueToSet> values = valuesToSet(jsonBody(request));
    return withCamera(address, [&values](Camera& camera) { return setValues(camera, values); });
  }
  return methodNotAllowed("GET, PUT");
}

PanelResponse PanelInterface::Parts::profileRoute(const PanelRequest& request,
                                                  const CameraAddress& address) {
  if (request.method == "GET") {
    return withCamera(address, exportProfile);
  }
  if (request.method == "POST") {
    const bool dryRun = flagOf(request, "dry_run");
    requireType(request, "application/json");
    const std::vector<ProfileValue> values = profileOfBody(request);
    return withCamera(address, [&values, dryRun](Camera& camera) {
      return importProfile(camera, values, dryRun);
    });
  }
  return methodNotAllowed("GET, POST");
}

PanelResponse PanelInterface::Parts::keptRoute(const PanelRequest& request,
                                               const CameraAddress& address) {
  if (request.method != "GET" && request.method != "PUT" && request.method != "DELETE") {
    return methodNotAllowed("GET, PUT, DELETE");
  }
  if (request.method == "PUT" && request.body.empty()) {
    // The camera's settings now, under the serial number it gives.
    return withCamera(address, [](Camera& camera) {
      const std::string serial = keptSerialOf(camera);
      return keepProfile(serial, currentProfile(camera));
    });
  }
  if (address.serial == UnknownSerial) {
    throw RouteFailure(BadRequest,
                       "a camera that gave no serial number has no kept profile: a kept profile "
                       "is filed under the camera's serial number");
  }
  if (request.method == "GET") {
    return keptProfile(address.serial);
  }
  if (request.method == "DELETE") {
    return forgetProfile(address.serial);
  }
  requireType(request, "application/json");
  profileOfBody(request);  // checked whole: every bad part named, nothing kept
  return keepProfile(address.serial, request.body);
}

PanelResponse PanelInterface::Parts::updateRoute(const PanelRequest& request,
                                                 const CameraAddress& address) {
  if (request.method == "GET") {
    const std::optional<std::string> state = updates.stateOf(address);
    if (!state) {
      throw RouteFailure(NotFound, "camera " + address.serial +
                                       " has had no firmware update since the panel started");
    }
    return {200, "application/json", *state + "\n", {}};
  }
  if (request.method != "POST") {
    return methodNotAllowed("GET, POST");
  }
  requireType(request, "application/octet-stream");
  std::vector<unsigned char> image(request.body.begin(), request.body.end());
  unsigned pages = 0;
  try {
    pages = checkFirmwareImage(image);
  } catch (const UsageError& error) {
    throw RouteFailure(BadRequest, std::string("the firmware image cannot be used: ") +
                                       error.what() + ": nothing sent");
  }
  std::unique_ptr<Camera> camera = access.open(address);
  const std::string name = camera->name();
  const std::optional<std::string> state =
      updates.start(std::move(camera), std::move(image), pages);
  if (!state) {
    throw RouteFailure(Conflict, "the firmware of camera " + name +
                                     " is being updated already: one update at a time");
  }
  return {Accepted, "application/json", *state + "\n", {}};
}

PanelInterface::PanelInterface(PanelEvents& events, const console::StopRequests& stop)
    : parts_(std::make_unique<Parts>(events, stop)) {}

PanelInterface::~PanelInterface() = default;

PanelResponse PanelInterface::handle(const PanelRequest& request) {
  try {
    return parts_->route(request);
  } catch (const RouteFailure& failure) {
    return failureAnswer(failure.status(), failure.what(), failure.problems());
  } catch (const CameraBusy& busy) {
    return failureAnswer(Conflict, busy.what());
  } catch (const CameraGone& gone) {
    try {
      parts_->presence.lookAgain();  // the list's event need not wait for the platform's
    } catch (const std::exception&) {
    }
    return failureAnswer(Gone, gone.what());
  } catch (const CommandFailure& failure) {
    return failureAnswer(statusOf(failure), failure.what());
  } catch (const std::exception& error) {
    return failureAnswer(InternalError, std::string("the panel failed: ") + error.what());
  } catch (...) {
    return failureAnswer(InternalError, "the panel failed");
  }
}

std::vector<PanelEvent> PanelInterface::initialEvents() {
  std::vector<PanelEvent> events{parts_->presence.event()};
  for (PanelEvent& update : parts_->updates.events()) {
    events.push_back(std::move(update));
  }
  return events;
}

std::vector<std::string> PanelInterface::runningUpdates() const {
  return parts_->updates.running();
}
