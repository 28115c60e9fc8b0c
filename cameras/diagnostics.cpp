#include "diagnostics.h"

#include <mutex>
#include <string>

#include "failure_report.h"
#include "formatted.h"
#include "library_messages.h"

namespace cameras {
namespace {

std::mutex callbackMutex;
optiqon_diagnostics_callback hostCallback = nullptr;
void* hostContext = nullptr;

}  // namespace

void setDiagnostics(optiqon_diagnostics_callback callback, void* context) {
  const std::lock_guard<std::mutex> lock(callbackMutex);
  hostCallback = callback;
  hostContext = context;
}

void diagnose(const char* line) {
  optiqon_diagnostics_callback callback = nullptr;
  void* context = nullptr;
  {
    const std::lock_guard<std::mutex> lock(callbackMutex);
    callback = hostCallback;
    context = hostContext;
  }
  if (callback != nullptr) {
    callback(context, line);
  }
}

}  // namespace cameras

// The steps the camera API shares with the library report here: the library's own line, without
// the line end, to the host's callback.
void reportFailure(const char* operation, const char* step, HRESULT result) {
  std::string line = cameras::formatted(library_messages::FailedCall, operation, step,
                                        static_cast<unsigned>(result));
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) {
    line.pop_back();
  }
  cameras::diagnose(line.c_str());
}
