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
#if !defined(_WIN32)
  // The kit's own safe arrays carry numbers only; Windows' also make arrays of VARIANTs.
  EXPECT_EQ(SafeArrayCreateVector(VT_VARIANT, 0, 1), nullptr);
#endif
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

// Windows keeps the element type of an array it made, and reports none for a descriptor that
// records none; interface and record arrays are known by their features.
TEST(SafeArray, ElementTypeAndDimensionsAreReported) {
  for (VARTYPE type : {VT_R8, VT_I8, VT_UI8, VT_CY, VT_DATE, VT_I4, VT_UI1}) {
    SAFEARRAY* array = SafeArrayCreateVector(type, 0, 2);
    ASSERT_NE(array, nullptr) << type;
    EXPECT_EQ(array->fFeatures & FADF_HAVEVARTYPE, FADF_HAVEVARTYPE);
    VARTYPE recorded = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(array, &recorded), S_OK);
    EXPECT_EQ(recorded, type);
    EXPECT_EQ(SafeArrayGetDim(array), 1u);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
  }
  double values[4] = {};
  SAFEARRAY own{1, FADF_STATIC, sizeof(double), 0, values, {{4, 0}}};
  VARTYPE type = VT_EMPTY;
  EXPECT_EQ(SafeArrayGetVartype(&own, &type), E_INVALIDARG);
  EXPECT_EQ(type, VT_EMPTY);
  own.fFeatures = FADF_HAVEIID;
  EXPECT_EQ(SafeArrayGetVartype(&own, &type), S_OK);
  EXPECT_EQ(type, VT_UNKNOWN);
  own.fFeatures = FADF_HAVEIID | FADF_DISPATCH;
  EXPECT_EQ(SafeArrayGetVartype(&own, &type), S_OK);
  EXPECT_EQ(type, VT_DISPATCH);
  own.fFeatures = FADF_RECORD;
  EXPECT_EQ(SafeArrayGetVartype(&own, &type), S_OK);
  EXPECT_EQ(type, VT_RECORD);
  own.cDims = 2;
  EXPECT_EQ(SafeArrayGetDim(&own), 2u);
  EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
  EXPECT_EQ(SafeArrayGetVartype(nullptr, &type), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetVartype(&own, nullptr), E_INVALIDARG);
}

}  // namespace
