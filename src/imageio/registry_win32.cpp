// Whether the system's HD Photo codec exists: try to create its COM object.
#include <objbase.h>
#include <windows.h>

#include "imageio/registry.h"

namespace lumora {

namespace {
// {CACAF262-9370-4615-A13B-9F5539DA4C0A}
constexpr CLSID kHdPhotoClassId = {0xCACAF262, 0x9370, 0x4615, {0xA1, 0x3B, 0x9F, 0x55, 0x39, 0xDA, 0x4C, 0x0A}};

bool ProbeHdPhotoCodec() {
  HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IUnknown* object = nullptr;  // released at once; only its existence matters
  HRESULT hr = CoCreateInstance(kHdPhotoClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&object));
  if (SUCCEEDED(hr) && object) object->Release();
  if (SUCCEEDED(init)) CoUninitialize();
  return SUCCEEDED(hr);
}
}  // namespace

bool HdPhotoCodecAvailable() {
  static const bool available = ProbeHdPhotoCodec();
  return available;
}

}  // namespace lumora
