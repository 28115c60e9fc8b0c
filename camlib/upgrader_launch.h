// Updating the camera's firmware and reading its serial number through the firmware upgrader,
// run as a child process whose output the library reads and echoes.
#pragma once

#include <string>

// The upgrader the library starts, fixed when the library is built.
std::string upgraderPath();

// The command lines: the upgrader's path (quoted when it holds a blank), then a blank and the
// host's argument text as it stands, or " -s".
std::string firmwareCommand(const std::string& upgrader, const std::string& arguments);
std::string serialNumberCommand(const std::string& upgrader);

// Starts `command`. Throws std::runtime_error "popen() failed!" when the child cannot be
// started.
class ChildProcess;
void startCommand(const std::string& command, ChildProcess& child);

// Echoes the child's output to the library's console in pieces of at most 127 characters until
// it ends; a piece that begins with a full stop is echoed as "." alone.
void echoOutput(ChildProcess& child);

// Runs `command` and returns the first piece of its output (up to and including the first
// newline, at most 127 characters); empty when it printed nothing.
std::string runForFirstLine(const std::string& command);
