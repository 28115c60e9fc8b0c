// What the routes of the panel's interface share: their failures, which become answers with a
// status and {"error": MESSAGE}, JSON bodies in and out, and each route's work on a camera that
// panel_api.cpp has opened for the request alone.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "../camera.h"
#include "../output_format.h"
#include "../profile_file.h"
#include "panel_http.h"

// A request answered with a failure: `status`, the message, and for a request whose values are
// refused, each of them as {"name": NAME or null, "message": MESSAGE} (nothing was sent to the
// camera then).
class RouteFailure : public std::runtime_error {
 public:
  RouteFailure(int status, const std::string& message, Json problems = nullptr)
      : std::runtime_error(message), status_(status), problems_(std::move(problems)) {}

  int status() const { return status_; }
  const Json& problems() const { return problems_; }

 private:
  int status_;
  Json problems_;
};

// The HTTP statuses the interface answers with, beyond 200.
enum HttpStatus {
  Accepted = 202,
  BadRequest = 400,
  NotFound = 404,
  MethodNotAllowed = 405,
  Conflict = 409,
  Gone = 410,
  UnsupportedMediaType = 415,
  Unprocessable = 422,
  InternalError = 500
};

PanelResponse jsonAnswer(int status, const Json& body);
PanelResponse failureAnswer(int status, const std::string& message, const Json& problems = nullptr);

// A problem of a request's values: {"name": NAME or null, "message": MESSAGE}, the message cut
// short (a message quotes the value, and a body may hold a value of a megabyte).
Json problem(const std::optional<std::string>& name, const std::string& message);

// The request's body as JSON; 415 when it is sent as another type than application/json, 400
// when it is not JSON or nests values deeper than any request of the interface does.
Json jsonBody(const PanelRequest& request);

// --- settings_routes.cpp

// A value as read, as the answers give it: a property's number, a control's bytes (control 30's
// number), null when the camera did not answer.
Json readingValue(const Reading& reading);

// A value read back after a write, and for a property whether the camera sets it itself.
struct ReadBack {
  Reading reading;
  std::optional<bool> automatic;
};
ReadBack readBack(Camera& camera, const Setting& setting);

// What an answer says of one value written and read back: its name, the value read back (and
// for a property whether the camera sets it itself), whether it took, and when it did not, why:
// the camera's refusal, or what it holds instead. `tookAll` turns false when it did not take.
Json valueResult(const ReadBack& back, bool tookIt, const std::optional<std::string>& refusal,
                 bool& tookAll);

// Every image property with its value, range and automatic mode, every vendor control with its
// bytes: GET .../settings.
Json settingsOf(Camera& camera);

// One value a request sets: as `optiqon set` takes it, or an image property handed to the camera.
struct ValueToSet {
  Assignment assignment;
  bool automatic = false;
};

// The body of PUT .../settings, every value checked as `optiqon set` checks it; a RouteFailure
// (400) naming each bad one.
std::vector<ValueToSet> valuesToSet(const Json& body);

// Writes each value, in the body's order, and reads each back: 200, or 422 naming each value the
// camera refused or did not take. An automatic mode the camera does not offer is refused (400)
// before anything is sent.
PanelResponse setValues(Camera& camera, const std::vector<ValueToSet>& values);

// POST .../save, .../reset and .../password.
PanelResponse storeSettings(Camera& camera);
PanelResponse restoreFactorySettings(Camera& camera);
PanelResponse sendPassword(Camera& camera, const Json& body);

// --- profile_routes.cpp

// The camera's settings as a profile file to save: GET .../profile.
PanelResponse exportProfile(Camera& camera);
// The body of POST .../profile and PUT .../kept checked whole as a profile; a RouteFailure (400)
// naming every bad part.
std::vector<ProfileValue> profileOfBody(const PanelRequest& request);
// What importing `values` would change (`dryRun`), or the import: each value written and read
// back.
PanelResponse importProfile(Camera& camera, const std::vector<ProfileValue>& values, bool dryRun);

// The kept profile of the camera with `serial`, plugged in or not: GET and DELETE .../kept; and
// PUT .../kept, which keeps `text`, a profile checked whole.
PanelResponse keptProfile(const std::string& serial);
PanelResponse keepProfile(const std::string& serial, const std::string& text);
PanelResponse forgetProfile(const std::string& serial);
