/* A host application written in plain C. The library's header is C++ (UpdateFirmware takes a
   standard string), so a C host declares the exports it uses itself, as the documentation
   describes them: SetRegister with the address and the value as 32-bit integers, of which the
   library uses the low 8 bits.

     brenwick_c_host <path of the shared library> [ADDRESS VALUE]...

   Each pair is written with SetRegister (numbers in C notation, 0x for hexadecimal) between
   Initialize and Deinitialize, and printed with its result. */
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef bool (*InitializeFunction)(void);
typedef void (*DeinitializeFunction)(void);
typedef bool (*SetRegisterFunction)(int address, int value);

/* The library loaded at run time: LoadLibrary on Windows, dlopen elsewhere. */
#if defined(_WIN32)
typedef HMODULE Library;
static Library load(const char* path) {
  return LoadLibraryA(path);
}
static void* symbolOf(Library library, const char* name) {
  FARPROC symbol = GetProcAddress(library, name);
  void* bits = NULL;
  memcpy(&bits, &symbol, sizeof bits);
  return bits;
}
static const char* loadError(void) {
  return "LoadLibrary failed";
}
#else
typedef void* Library;
static Library load(const char* path) {
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}
static void* symbolOf(Library library, const char* name) {
  return dlsym(library, name);
}
static const char* loadError(void) {
  return dlerror();
}
#endif

/* ISO C has no conversion from dlsym's object pointer to a function pointer: copy the bits. */
static int resolve(Library library, const char* name, void* function, size_t size) {
  void* symbol = symbolOf(library, name);
  if (symbol == NULL) {
    printf("missing export: %s\n", name);
    return 0;
  }
  memcpy(function, &symbol, size);
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 2 || argc % 2 != 0) {
    fprintf(stderr, "usage: brenwick_c_host <library> [ADDRESS VALUE]...\n");
    return 2;
  }
  Library library = load(argv[1]);
  if (library == NULL) {
    fprintf(stderr, "brenwick_c_host: %s\n", loadError());
    return 1;
  }
  InitializeFunction initialize = NULL;
  DeinitializeFunction deinitialize = NULL;
  SetRegisterFunction setRegister = NULL;
  if (!resolve(library, "Initialize", &initialize, sizeof initialize) ||
      !resolve(library, "Deinitialize", &deinitialize, sizeof deinitialize) ||
      !resolve(library, "SetRegister", &setRegister, sizeof setRegister)) {
    return 1;
  }
  printf("Initialize() = %s\n", initialize() ? "true" : "false");
  for (int i = 2; i + 1 < argc; i += 2) {
    const int address = (int)strtol(argv[i], NULL, 0);
    const int value = (int)strtol(argv[i + 1], NULL, 0);
    printf("SetRegister(0x%X, 0x%X) = %s\n", (unsigned)address, (unsigned)value,
           setRegister(address, value) ? "true" : "false");
  }
  fflush(stdout);
  deinitialize();
  printf("\n");
  return 0;
}
