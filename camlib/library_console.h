// Where the library's own lines go: the process's standard output, where a host may or may not
// show them. Every line is flushed at once, so that it keeps its place among the lines of the
// upgrader that the library echoes and of the host itself.
#pragma once

#include <cstdio>

#include "failure_report.h"

std::FILE* libraryConsole();
// Sends the library's lines elsewhere (for a host's tests); null restores standard output.
void setLibraryConsole(std::FILE* stream);

void printToConsole(const char* text);
