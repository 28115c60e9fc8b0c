// Command lines as a Windows program's start-up code splits them into arguments: blanks and
// tabs separate arguments, double quotes group words (a doubled quote inside quotes is a literal
// quote), and backslashes are literal except before a double quote, where each pair stands for
// one backslash and an odd one out makes the quote literal.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> splitCommandLine(const std::string& commandLine);
