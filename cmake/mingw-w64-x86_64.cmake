# Cross-compiling the Windows x64 package on Linux with mingw-w64 (Debian packages
# g++-mingw-w64-x86-64-posix and mingw-w64-tools). The C and C++ runtimes are linked statically,
# so the programs depend on system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OPTIQON_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OPTIQON_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OPTIQON_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OPTIQON_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OPTIQON_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
