// How the tool shows what it found: on standard output, tables of a label and a value or one line
// of JSON, and results told in words; on standard error, its problems, each as "optiqon: ...".
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "camera_values.h"

using Json = nlohmann::ordered_json;

struct CameraListing;

// A table's row: the label in a column of 24 characters, with at least two blanks after it, then
// the value.
std::string tableRow(std::string_view label, std::string_view value);
void printRow(std::string_view label, std::string_view value);

// The value as one line of JSON.
void printJson(const Json& value);

// A result told in words, on a line of its own.
void printLine(std::string_view text);

// A problem on standard error, after the tool's name.
void printProblem(std::string_view message);

// A reading as the tables show it: "unavailable" for a property and "unreadable" for a control
// the camera did not answer for.
std::string formatReading(const Reading& reading);

// A control's value as the JSON output and the profiles carry it: the bytes as a list, control
// 30 as its scaled number.
Json controlJson(const Setting& setting, const std::vector<double>& values);

// The readings as {"properties": {name: value}, "controls": {number: value}}; null for a value
// the camera did not answer for.
Json readingsJson(const std::vector<Reading>& readings);

// A camera as list --json gives it: serial_number (null when it gave none), location, and
// video_side and hid_side, true when found.
Json listingJson(const CameraListing& camera);

// A row for each reading, or the JSON of readingsJson.
void printReadings(const std::vector<Reading>& readings, bool json);
