// Setting and clearing an environment variable of the test process, which the programs it starts
// inherit: the simulated camera's OPTIQON_SIM_CAMERA above all.
#pragma once

#include <cstdlib>
#include <string>

inline void setEnvironmentVariable(const std::string& name, const std::string& value) {
#if defined(_WIN32)
  _putenv_s(name.c_str(), value.c_str());
#else
  ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline void clearEnvironmentVariable(const std::string& name) {
#if defined(_WIN32)
  _putenv_s(name.c_str(), "");  // an empty value removes the variable
#else
  ::unsetenv(name.c_str());
#endif
}
