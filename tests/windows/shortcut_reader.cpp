// Reads a shortcut (.lnk) through the shell's own IShellLink, as Explorer does, for the
// installer's check under Wine: prints what it starts, one line each, in UTF-8:
//   target <path>
//   arguments <arguments>
//   working directory <folder>
//   description <text>
//   shortcut_reader <file.lnk>
// Exit code 1 when the file is not a shortcut the shell can load.
#include <windows.h>
// After windows.h, which they need.
#include <objbase.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

namespace {

constexpr int LinkMax = 1024;

std::string utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) {
    return {};
  }
  std::string converted(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr);
  converted.pop_back();  // the terminating zero
  return converted;
}

void printField(const char* name, HRESULT result, const wchar_t* value) {
  std::printf("%s %s\n", name, SUCCEEDED(result) ? utf8(value).c_str() : "(unreadable)");
}

int failed(const char* what, HRESULT result) {
  std::fprintf(stderr, "shortcut_reader: %s (0x%08lX)\n", what, static_cast<unsigned long>(result));
  return 1;
}

int readShortcut(const wchar_t* file) {
  IShellLinkW* link = nullptr;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(&link));
  if (FAILED(result)) {
    return failed("cannot make a shell link object", result);
  }
  IPersistFile* persisted = nullptr;
  result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persisted));
  if (SUCCEEDED(result)) {
    result = persisted->Load(file, STGM_READ);
    persisted->Release();
  }
  if (FAILED(result)) {
    link->Release();
    return failed("cannot load the shortcut", result);
  }
  wchar_t value[LinkMax] = L"";
  printField("target", link->GetPath(value, LinkMax, nullptr, SLGP_RAWPATH), value);
  printField("arguments", link->GetArguments(value, LinkMax), value);
  printField("working directory", link->GetWorkingDirectory(value, LinkMax), value);
  printField("description", link->GetDescription(value, LinkMax), value);
  link->Release();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: shortcut_reader <file.lnk>\n");
    return 2;
  }
  wchar_t file[MAX_PATH] = L"";
  if (MultiByteToWideChar(CP_ACP, 0, argv[1], -1, file, MAX_PATH) == 0) {
    return failed("the file's name is too long", HRESULT_FROM_WIN32(GetLastError()));
  }
  const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(result)) {
    return failed("cannot start COM", result);
  }
  const int code = readShortcut(file);
  CoUninitialize();
  return code;
}
