// The safe arrays a host makes and receives, with the Windows results for misuse.
#include <gtest/gtest.h>

#include "media_services.h"

namespace {

TEST(SafeArray, VectorOfDoublesHasBoundsAndData) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, 4);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array->cDims, 1);
  EXPECT_EQ(array->cbElements, 8u);
  LONG lower = -7, upper = -7;
  EXPECT_EQ(SafeArrayGetLBound(array, 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 3);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(static_cast<double*>(data)[i], 0.0);
  }
  EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, EmptyVectorEndsOneBelowItsStart) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 5, 0);
  ASSERT_NE(array, nullptr);
  LONG lower = 0, upper = 0;
  EXPECT_EQ(SafeArrayGetLBound(array, 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
  EXPECT_EQ(lower, 5);
  EXPECT_EQ(upper, 4);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, MisuseGetsTheWindowsResults) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, 1);
  LONG bound = 0;
  EXPECT_EQ(SafeArrayGetLBound(array, 2, &bound), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(array, 0, &bound), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &bound), E_INVALIDARG);
  EXPECT_EQ(SafeArrayAccessData(nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
  EXPECT_EQ(SafeArrayCreateVector(12, 0, 1), nullptr);  // VT_VARIANT is not offered
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

}  // namespace
