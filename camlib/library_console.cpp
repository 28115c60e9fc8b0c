#include "library_console.h"

namespace {

std::FILE* redirected = nullptr;

}  // namespace

std::FILE* libraryConsole() {
  return redirected != nullptr ? redirected : stdout;
}

void setLibraryConsole(std::FILE* stream) {
  redirected = stream;
}

void printToConsole(const char* text) {
  std::fputs(text, libraryConsole());
  std::fflush(libraryConsole());
}

void reportFailure(const char* operation, const char* step, HRESULT result) {
  std::fprintf(libraryConsole(), "info: Function: %s, %s failed, Error code: 0x%.2x \n", operation,
               step, static_cast<unsigned>(result));
  std::fflush(libraryConsole());
}
