// The methods of the Windows interfaces that the library never calls, answering E_NOTIMPL. On
// Windows the media seam is the platform's own headers, whose interfaces declare every method;
// the COM objects of com_objects.h implement the ones the library calls and take the rest from
// here. Off Windows the seam declares only what the library calls, and nothing is added.
#pragma once

#include "../media_services.h"

namespace com_objects {

#if defined(_WIN32)

// The attribute store's methods.
template <typename Interface>
struct AttributeMethods : Interface {
  HRESULT STDMETHODCALLTYPE GetItem(REFGUID, PROPVARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetItemType(REFGUID, MF_ATTRIBUTE_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CompareItem(REFGUID, REFPROPVARIANT, WINBOOL*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Compare(IMFAttributes*, MF_ATTRIBUTES_MATCH_TYPE, WINBOOL*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetUINT32(REFGUID, UINT32*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUINT64(REFGUID, UINT64*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDouble(REFGUID, double*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetGUID(REFGUID, GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetStringLength(REFGUID, UINT32*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetString(REFGUID, LPWSTR, UINT32, UINT32*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetAllocatedString(REFGUID, LPWSTR*, UINT32*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetBlobSize(REFGUID, UINT32*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetBlob(REFGUID, UINT8*, UINT32, UINT32*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAllocatedBlob(REFGUID, UINT8**, UINT32*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetUnknown(REFGUID, REFIID, LPVOID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetItem(REFGUID, REFPROPVARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteItem(REFGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteAllItems() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetUINT32(REFGUID, UINT32) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetUINT64(REFGUID, UINT64) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetDouble(REFGUID, double) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID, REFGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetString(REFGUID, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetBlob(REFGUID, const UINT8*, UINT32) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetUnknown(REFGUID, IUnknown*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockStore() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockStore() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCount(UINT32*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetItemByIndex(UINT32, GUID*, PROPVARIANT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CopyAllItems(IMFAttributes*) override { return E_NOTIMPL; }
};
// An activation object's own methods, after the attribute store's.
template <typename Interface>
struct ActivateMethods : Interface {
  HRESULT STDMETHODCALLTYPE ActivateObject(REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ShutdownObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DetachObject() override { return E_NOTIMPL; }
};
// A media source's methods, its event generator's among them.
template <typename Interface>
struct MediaSourceMethods : Interface {
  HRESULT STDMETHODCALLTYPE GetEvent(DWORD, IMFMediaEvent**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BeginGetEvent(IMFAsyncCallback*, IUnknown*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EndGetEvent(IMFAsyncResult*, IMFMediaEvent**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE QueueEvent(MediaEventType, REFGUID, HRESULT,
                                       const PROPVARIANT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetCharacteristics(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreatePresentationDescriptor(IMFPresentationDescriptor**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Start(IMFPresentationDescriptor*, const GUID*,
                                  const PROPVARIANT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Stop() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Pause() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Shutdown() override { return E_NOTIMPL; }
};
// A source reader's methods.
template <typename Interface>
struct SourceReaderMethods : Interface {
  HRESULT STDMETHODCALLTYPE GetStreamSelection(DWORD, WINBOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStreamSelection(DWORD, WINBOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNativeMediaType(DWORD, DWORD, IMFMediaType**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetCurrentMediaType(DWORD, IMFMediaType**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetCurrentMediaType(DWORD, DWORD*, IMFMediaType*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetCurrentPosition(REFGUID, REFPROPVARIANT) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ReadSample(DWORD, DWORD, DWORD*, DWORD*, LONGLONG*,
                                       IMFSample**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Flush(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetServiceForStream(DWORD, REFGUID, REFIID, void**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetPresentationAttribute(DWORD, REFGUID, PROPVARIANT*) override {
    return E_NOTIMPL;
  }
};
// Every method of `Interface`: those the library calls are overridden again by the objects.
template <typename Interface>
struct Complete : Interface {};
template <>
struct Complete<IMFAttributes> : AttributeMethods<IMFAttributes> {};
template <>
struct Complete<IMFActivate> : ActivateMethods<AttributeMethods<IMFActivate>> {};
template <>
struct Complete<IMFMediaSource> : MediaSourceMethods<IMFMediaSource> {};
template <>
struct Complete<IMFSourceReader> : SourceReaderMethods<IMFSourceReader> {};

#else

template <typename Interface>
using Complete = Interface;

#endif

}  // namespace com_objects
