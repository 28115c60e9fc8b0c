#include "library_console.h"

#include "library_messages.h"

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
  std::fprintf(libraryConsole(), library_messages::FailedCall, operation, step,
               static_cast<unsigned>(result));
  std::fflush(libraryConsole());
}
