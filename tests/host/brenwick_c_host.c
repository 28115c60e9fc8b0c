/* A host application written in plain C. The library's header is C++ (UpdateFirmware takes a
   standard string), so a C host declares the exports it uses itself, as the documentation
   describes them: SetRegister with the address and the value as 32-bit integers, of which the
   library uses the low 8 bits.

     brenwick_c_host <path of the shared library> [ADDRESS VALUE]...

   Each pair is written with SetRegister (numbers in C notation, 0x for hexadecimal) between
   Initialize and Deinitialize, and printed with its result. */
#include <dlfcn.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef bool (*InitializeFunction)(void);
typedef void (*DeinitializeFunction)(void);
typedef bool (*SetRegisterFunction)(int address, int value);

/* ISO C has no conversion from dlsym's object pointer to a function pointer: copy the bits. */
static int resolve(void* library, const char* name, void* function, size_t size) {
  void* symbol = dlsym(library, name);
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
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "brenwick_c_host: %s\n", dlerror());
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
