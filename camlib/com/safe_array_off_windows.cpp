// OLE Automation safe arrays and COM task memory where the platform has none, with the Windows
// behaviour hosts rely on: one-dimensional vectors, lower and upper bounds, data access counted
// by locks, and no destroying of a locked array.
#include <cstdlib>

#include "media_services.h"

namespace {

constexpr USHORT FADF_CREATEVECTOR = 0x2000;

// Windows keeps an array's element type in the four bytes before the descriptor.
struct VectorBlock {
  std::uint32_t reserved;
  std::uint32_t elementType;
  SAFEARRAY descriptor;
};

std::size_t elementSize(VARTYPE type) {
  switch (type) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
      return 4;
    case VT_R8:
    case VT_I8:
    case VT_UI8:
    case VT_CY:
    case VT_DATE:
      return 8;
    default:
      return 0;
  }
}

VectorBlock* blockOf(SAFEARRAY* array) {
  return reinterpret_cast<VectorBlock*>(reinterpret_cast<unsigned char*>(array) -
                                        offsetof(VectorBlock, descriptor));
}

HRESULT checkDimension(SAFEARRAY* array, UINT dimension, LONG* bound) {
  if (array == nullptr || bound == nullptr) {
    return E_INVALIDARG;
  }
  if (dimension < 1 || dimension > array->cDims) {
    return DISP_E_BADINDEX;
  }
  return S_OK;
}

}  // namespace

extern "C" {

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
  const std::size_t size = elementSize(vt);
  if (size == 0) {
    return nullptr;
  }
  const std::size_t dataBytes = std::size_t{elements} * size;
  auto* block = static_cast<VectorBlock*>(std::calloc(1, sizeof(VectorBlock) + dataBytes));
  if (block == nullptr) {
    return nullptr;
  }
  block->elementType = vt;
  SAFEARRAY* array = &block->descriptor;
  array->cDims = 1;
  array->fFeatures = FADF_CREATEVECTOR | FADF_HAVEVARTYPE;
  array->cbElements = static_cast<ULONG>(size);
  array->cLocks = 0;
  array->pvData = block + 1;
  array->rgsabound[0].cElements = elements;
  array->rgsabound[0].lLbound = lowerBound;
  return array;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* lowerBound) {
  const HRESULT checked = checkDimension(array, dimension, lowerBound);
  if (checked == S_OK) {
    *lowerBound = array->rgsabound[array->cDims - dimension].lLbound;
  }
  return checked;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* upperBound) {
  const HRESULT checked = checkDimension(array, dimension, upperBound);
  if (checked == S_OK) {
    const SAFEARRAYBOUND& bound = array->rgsabound[array->cDims - dimension];
    *upperBound = static_cast<LONG>(std::int64_t{bound.lLbound} + bound.cElements - 1);
  }
  return checked;
}

UINT SafeArrayGetDim(SAFEARRAY* array) {
  return array == nullptr ? 0 : array->cDims;
}

// Windows looks at the features first: a record array, an interface array (with its IID kept
// before the descriptor), and only then the recorded type.
HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* type) {
  if (array == nullptr || type == nullptr) {
    return E_INVALIDARG;
  }
  const USHORT features = array->fFeatures;
  if ((features & FADF_RECORD) != 0) {
    *type = VT_RECORD;
  } else if ((features & (FADF_HAVEIID | FADF_DISPATCH)) == (FADF_HAVEIID | FADF_DISPATCH)) {
    *type = VT_DISPATCH;
  } else if ((features & FADF_HAVEIID) != 0) {
    *type = VT_UNKNOWN;
  } else if ((features & FADF_HAVEVARTYPE) != 0) {
    *type = static_cast<VARTYPE>(blockOf(array)->elementType);
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (array == nullptr || data == nullptr) {
    return E_INVALIDARG;
  }
  ++array->cLocks;
  *data = array->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) {
  if (array == nullptr) {
    return E_INVALIDARG;
  }
  if (array->cLocks == 0) {
    return E_UNEXPECTED;
  }
  --array->cLocks;
  return S_OK;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (array == nullptr) {
    return S_OK;
  }
  if (array->cLocks > 0) {
    return DISP_E_ARRAYISLOCKED;
  }
  std::free(blockOf(array));
  return S_OK;
}

void CoTaskMemFree(void* memory) {
  std::free(memory);
}

}  // extern "C"
