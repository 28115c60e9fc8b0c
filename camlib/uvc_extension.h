// The camera's vendor functions live in the controls of two UVC extension units, at topology
// nodes 2 and 3 of its media source. One kernel-streaming property request reads or writes one
// control; this is the one road to them.
#pragma once

#include <cstdint>
#include <vector>

#include "OptiqonCamera.h"
#include "media_services.h"

// The extension units' property sets, fixed by the camera's firmware.
inline constexpr GUID ExtensionUnitGuidNode2 = {
    0xACB6890C, 0xA3B3, 0x4060, {0x8B, 0x9A, 0xDF, 0x34, 0xEE, 0xF3, 0x9A, 0x2E}};
inline constexpr GUID ExtensionUnitGuidNode3 = {
    0xF4098694, 0x133A, 0xA14E, {0xB4, 0xA0, 0x63, 0xD2, 0x79, 0xBF, 0x30, 0x74}};

inline constexpr DWORD ExtensionUnitNode2 = OPTIQON_FIRST_UNIT_NODE;
inline constexpr DWORD ExtensionUnitNode3 = OPTIQON_SECOND_UNIT_NODE;

inline constexpr ULONG ReadControlFlags = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY;
inline constexpr ULONG WriteControlFlags = KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY;

// Where a numbered vendor control lives (OptiqonControlNode and OptiqonControlSelector): the
// unit's property set, its node and the selector.
struct ExtendedControl {
  GUID unit;
  DWORD node;
  ULONG selector;
};
ExtendedControl extendedControlOf(std::int32_t number);

namespace UvcExtension {

// One property request for one control, in either direction, to the camera behind `source`.
// S_OK on success, E_FAIL without a camera (a null source), otherwise the result of the step that
// failed (after its report).
HRESULT SetGetExtensionUnit(IMFMediaSource* source, GUID unit, DWORD node, ULONG selector,
                            ULONG flags, void* data, ULONG length, ULONG* bytesReturned);
// The same request to the camera of the library's connection.
HRESULT SetGetExtensionUnit(GUID unit, DWORD node, ULONG selector, ULONG flags, void* data,
                            ULONG length, ULONG* bytesReturned);

// Reads a control into a new vector of exactly `length` bytes. What the camera did not fill,
// after a failure too, stays 0.
std::vector<std::uint8_t> GetExtensionUnit(GUID unit, DWORD node, ULONG selector,
                                           std::int32_t length);

}  // namespace UvcExtension
