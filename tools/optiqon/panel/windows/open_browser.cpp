// The shell opens the address with the user's default browser.
#include "../open_browser.h"

#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include <string>

#include "../../output_format.h"

void openInBrowser(const std::string& url) {
  // The address is plain ASCII (digits, letters, punctuation): widened byte by byte.
  const std::wstring wide(url.begin(), url.end());
  // The shell may hand the address on through COM.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const HINSTANCE result =
      ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (SUCCEEDED(com)) {
    CoUninitialize();
  }
  if (reinterpret_cast<INT_PTR>(result) <= 32) {
    printProblem("cannot open a browser (error " +
                 std::to_string(reinterpret_cast<INT_PTR>(result)) +
                 "): open the address above in one");
  }
}
