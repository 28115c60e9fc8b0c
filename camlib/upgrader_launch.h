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

// Starts `command`. False when the program it names does not exist, after one line on standard
// error naming that program, as a command interpreter would have reported it: the caller then
// has no output to read and goes on. Throws std::runtime_error "popen() failed!" when no pipe or
// no process can be made.
class ChildProcess;
bool startCommand(const std::string& command, ChildProcess& child);

// Echoes the child's output to the library's console in pieces of at most 127 characters until
// it ends; a piece that begins with a full stop is echoed as "." alone.
void echoOutput(ChildProcess& child);

// The two exports' work with the upgrader at `upgrader`: the update echoes what the upgrader
// prints; the serial number is its first line, in the library's buffer, cleared before each run.
void updateFirmwareWith(const std::string& upgrader, const std::string& arguments);
char* serialNumberFrom(const std::string& upgrader);

// Runs `command` and returns the first piece of its output (up to and including the first
// newline, at most 127 characters); empty when it printed nothing or does not exist.
std::string runForFirstLine(const std::string& command);
