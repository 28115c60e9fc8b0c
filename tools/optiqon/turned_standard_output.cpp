#include "turned_standard_output.h"

#include <cstdio>
#include <iostream>

#include "console_streams.h"

TurnedStandardOutput::~TurnedStandardOutput() {
  giveBack();
  if (toolOutput_ >= 0) {
    console::closeDescriptor(toolOutput_);
  }
}

bool TurnedStandardOutput::turnTo(int descriptor) {
  std::cout.flush();
  std::fflush(stdout);
  toolOutput_ = console::saveOutput();
  if (toolOutput_ >= 0 && console::redirectOutput(descriptor)) {
    return true;
  }
  if (toolOutput_ >= 0) {
    console::closeDescriptor(toolOutput_);
    toolOutput_ = -1;
  }
  return false;
}

void TurnedStandardOutput::giveBack() {
  if (toolOutput_ < 0 || givenBack_.exchange(true)) {
    return;
  }
  std::fflush(stdout);
  console::redirectOutput(toolOutput_);
}
