#include "capture/media_type.h"

#include <cstring>

void InitMediaType(AM_MEDIA_TYPE* type) {
  std::memset(type, 0, sizeof(*type));
  type->bFixedSizeSamples = TRUE;
  type->lSampleSize = 1;
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
  *target = *source;
  HRESULT result = S_OK;
  // A driver's type claiming a format block it does not have is copied without one.
  if (source->pbFormat == nullptr) target->cbFormat = 0;
  if (target->cbFormat != 0) {
    target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
    if (target->pbFormat != nullptr) {
      std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    } else {
      target->cbFormat = 0;
      result = E_OUTOFMEMORY;
    }
  }
  if (target->pUnk != nullptr) target->pUnk->AddRef();
  return result;
}

void FreeMediaType(AM_MEDIA_TYPE* type) {
  if (type->cbFormat != 0) {
    CoTaskMemFree(type->pbFormat);
    type->cbFormat = 0;
    type->pbFormat = nullptr;
  }
  if (type->pUnk != nullptr) {
    type->pUnk->Release();
    type->pUnk = nullptr;
  }
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return;
  FreeMediaType(type);
  CoTaskMemFree(type);
}

MediaType::MediaType() : AM_MEDIA_TYPE() { InitMediaType(this); }

MediaType::MediaType(const AM_MEDIA_TYPE& source, HRESULT* result) : AM_MEDIA_TYPE() {
  const HRESULT copied = CopyMediaType(this, &source);
  if (FAILED(copied) && result != nullptr) *result = copied;
}

MediaType::MediaType(const MediaType& source) : MediaType(static_cast<const AM_MEDIA_TYPE&>(source)) {}

MediaType::~MediaType() { FreeMediaType(this); }

HRESULT MediaType::Assign(const MediaType& source) {
  if (&source == this) return S_OK;
  FreeMediaType(this);
  return FAILED(CopyMediaType(this, &source)) ? E_OUTOFMEMORY : S_OK;
}

void MediaType::Reinitialize() { InitMediaType(this); }
