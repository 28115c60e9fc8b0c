// Opens the panel's address in the user's default browser: xdg-open on Linux, the shell's
// association on Windows. The panel serves whether or not a browser opened, so a failure is a
// line on standard error and the user opens the printed address themselves.
#pragma once

#include <string>

void openInBrowser(const std::string& url);
