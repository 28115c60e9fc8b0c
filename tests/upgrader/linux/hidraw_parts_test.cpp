// The pieces under the hidraw backend on their own: a system call cut short by a signal, the
// device paths it hands out and takes back, the kernel's uevent text.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "hidraw_node_paths.h"
#include "interrupted_call.h"

namespace {

using hidraw::parseInterfacePath;
using hidraw::retryingInterrupted;

// A system call that answers each of `results` in turn, -1 with its errno for a failure.
struct ScriptedCall {
  struct Answer {
    int result;
    int error;
  };
  std::vector<Answer> answers;
  std::size_t calls = 0;

  int operator()() {
    const Answer answer = answers.at(calls++);
    errno = answer.error;
    return answer.result;
  }
};

TEST(InterruptedCall, IsMadeAgainUntilNoSignalCutsItShort) {
  ScriptedCall call{{{-1, EINTR}, {-1, EINTR}, {260, 0}}};
  EXPECT_EQ(retryingInterrupted(std::ref(call)), 260);
  EXPECT_EQ(call.calls, 3u);
}

TEST(InterruptedCall, OtherFailuresAnswerTheirErrnoAfterOneCall) {
  ScriptedCall call{{{-1, ENODEV}}};
  EXPECT_EQ(retryingInterrupted(std::ref(call)), -ENODEV);
  EXPECT_EQ(call.calls, 1u);
}

TEST(InterruptedCall, FailureAfterAnInterruptionIsTheLaterOnes) {
  ScriptedCall call{{{-1, EINTR}, {-1, EPIPE}}};
  EXPECT_EQ(retryingInterrupted(std::ref(call)), -EPIPE);
  EXPECT_EQ(call.calls, 2u);
}

TEST(InterfacePaths, OneCollectionIsTheNodeAndSeveralAreNumberedFromOne) {
  EXPECT_EQ(hidraw::interfacePathOf(7, 0, 1), u"/dev/hidraw7");
  EXPECT_EQ(hidraw::interfacePathOf(7, 1, 2), u"/dev/hidraw7&col02");

  const auto path = parseInterfacePath(u"/dev/hidraw12&col03");
  ASSERT_TRUE(path);
  EXPECT_EQ(path->deviceFile, "/dev/hidraw12");
  EXPECT_EQ(path->node, 12u);
  EXPECT_EQ(path->collection, 2u);
}

TEST(InterfacePaths, PathsTheBackendNeverHandsOutAreRefused) {
  for (const char16_t* path :
       {u"", u"/dev/hidraw", u"/dev/hidrawX", u"/dev/hidraw1&col", u"/dev/hidraw1&col00",
        u"/dev/hidraw1&col1000", u"/dev/hidraw1&colx1", u"/dev/hidraw1234567890", u"/dev/video0",
        u"/dev/hidraw\u00e91", u"hidraw1"}) {
    EXPECT_FALSE(parseInterfacePath(path))
        << std::string(path, path + std::char_traits<char16_t>::length(path));
  }
}

TEST(Uevent, ValueOfAKeyOnAnyLineAndNothingForAMissingOne) {
  const std::string uevent = "DRIVER=hid-generic\nHID_NAME=Corvantis K3M51\nHID_UNIQ=K3M51-0001";
  EXPECT_EQ(hidraw::ueventValue(uevent, "HID_NAME"), "Corvantis K3M51");
  EXPECT_EQ(hidraw::ueventValue(uevent, "HID_UNIQ"), "K3M51-0001");
  EXPECT_EQ(hidraw::ueventValue(uevent, "HID_PHYS"), "");
  EXPECT_EQ(hidraw::ueventValue(uevent, "HID"), "");
}

}  // namespace
