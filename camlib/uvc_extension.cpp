#include "uvc_extension.h"

#include "com_ptr.h"
#include "failure_report.h"
#include "library_messages.h"

namespace {

HRESULT failedStep(const char* step, HRESULT result) {
  reportFailure(library_messages::TransportOperation, step, result);
  return result;
}

}  // namespace

// Nothing is cached: each request finds the node anew and lets go of everything before it
// returns, so a camera that went away between two requests fails cleanly.
HRESULT UvcExtension::SetGetExtensionUnit(IMFMediaSource* source, GUID unit, DWORD node,
                                          ULONG selector, ULONG flags, void* data, ULONG length,
                                          ULONG* bytesReturned) {
  if (source == nullptr) {
    return E_FAIL;
  }
  ComPtr<IKsTopologyInfo> topology;
  HRESULT result = source->QueryInterface(IID_IKsTopologyInfo, topology.out());
  result = objectResult(result, topology.get());
  if (result != S_OK) {
    return failedStep(library_messages::QueryTopology, result);
  }
  GUID nodeType{};
  result = topology->get_NodeType(node, &nodeType);
  if (result != S_OK) {
    return failedStep(library_messages::GetNodeType, result);
  }
  ComPtr<IUnknown> nodeInstance;
  result = topology->CreateNodeInstance(node, IID_IUnknown, nodeInstance.out());
  result = objectResult(result, nodeInstance.get());
  if (result != S_OK) {
    return failedStep(library_messages::CreateNodeInstance, result);
  }
  ComPtr<IKsControl> control;
  result = nodeInstance->QueryInterface(IID_IKsControl, control.out());
  result = objectResult(result, control.get());
  if (result != S_OK) {
    return failedStep(library_messages::QueryControl, result);
  }
  KSP_NODE request{};
  request.Property.Set = unit;
  request.Property.Id = selector;
  request.Property.Flags = flags;
  request.NodeId = node;
  request.Reserved = 0;
  result = control->KsProperty(reinterpret_cast<PKSPROPERTY>(&request), sizeof request, data,
                               length, bytesReturned);
  if (result != S_OK) {
    return failedStep(library_messages::SendProperty, result);
  }
  return S_OK;
}

ExtendedControl extendedControlOf(std::int32_t number) {
  const auto selector = static_cast<ULONG>(OptiqonControlSelector(number));
  if (OptiqonControlNode(number) == OPTIQON_FIRST_UNIT_NODE) {
    return {ExtensionUnitGuidNode2, ExtensionUnitNode2, selector};
  }
  return {ExtensionUnitGuidNode3, ExtensionUnitNode3, selector};
}
