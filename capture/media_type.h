#pragma once

#include <dshow.h>
#include <windows.h>

// Free functions that keep DirectShow's ownership rules for AM_MEDIA_TYPE: the format block is
// owned (and task-allocated) only while cbFormat is non-zero, and a non-null pUnk is a counted
// reference.
void InitMediaType(AM_MEDIA_TYPE* type);
[[nodiscard]] HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
void FreeMediaType(AM_MEDIA_TYPE* type);
void DeleteMediaType(AM_MEDIA_TYPE* type);

// Owning value type; layout-identical to AM_MEDIA_TYPE so its address can be passed wherever
// the framework expects one.
class MediaType : public AM_MEDIA_TYPE {
 public:
  MediaType();
  explicit MediaType(const AM_MEDIA_TYPE& source, HRESULT* result = nullptr);
  MediaType(const MediaType& source);
  ~MediaType();

  MediaType& operator=(const MediaType&) = delete;

  [[nodiscard]] HRESULT Assign(const MediaType& source);
  // Only for objects whose block was just freed or never allocated.
  void Reinitialize();
};
static_assert(sizeof(MediaType) == sizeof(AM_MEDIA_TYPE), "MediaType must add no data");
