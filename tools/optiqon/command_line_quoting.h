// The upgrader's command line is split by the Windows rules on every platform (the library's
// splitter on Linux and in the simulated camera, the C runtime's start-up code on Windows), so
// the tool quotes each argument it hands over for those rules.
#pragma once

#include <string>
#include <string_view>

// `argument` as it is when it is not empty and has neither blank, tab nor double quote;
// otherwise in double quotes, each quote inside escaped with a backslash and the backslashes
// before a quote, or before the closing quote, doubled: other backslashes are literal.
std::string quotedArgument(std::string_view argument);
