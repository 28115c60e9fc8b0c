// The smallest host of the shipped library: it loads the library named on its command line, calls
// Initialize and prints what it returned.
//
//   v4l2_library_host <path of libBrenwick.so>
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: v4l2_library_host <library>\n");
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "v4l2_library_host: %s\n", dlerror());
    return 1;
  }
  auto* initialize = reinterpret_cast<bool (*)()>(dlsym(library, "Initialize"));
  if (initialize == nullptr) {
    std::fprintf(stderr, "v4l2_library_host: no Initialize\n");
    return 1;
  }
  const bool found = initialize();
  std::printf("\nInitialize() = %s\n", found ? "true" : "false");
  return 0;
}
