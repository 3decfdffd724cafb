#pragma once

#include <cstdint>

#include "SelvoTypes.h"

namespace selvo {

// Lays the people of the room out into the output picture, for every layout mode.
class ISELVO_LAYOUT {
 public:
  virtual ~ISELVO_LAYOUT() = default;

  virtual void Init(bool is360, int videoWidth, int videoHeight, int outputWidth, int outputHeight,
                    int subWidth, int subHeight, int reserved) = 0;
  virtual void Reinit(bool is360, int videoWidth, int videoHeight, int outputWidth,
                      int outputHeight, int subWidth, int subHeight, int reserved) = 0;

  // Image names, relative to the library's resource folder or absolute.
  virtual void SetDefaultLogoPath(const char* path) = 0;
  virtual void SetVoiceIndicatorIconPath(const char* path) = 0;
  virtual void SetPinIconPath(const char* path) = 0;
  virtual void SetAnchorPointSymbolPath(const char* path) = 0;
  virtual void SetIgnoreTagIconPath(const char* path) = 0;
  virtual void SetNameTagImage(const char* path, int style) = 0;
  virtual void SetViewMoveIcon(const char* path, int width, int height, int positions) = 0;

  // Per frame, in this order.
  virtual int GetLayoutMode() = 0;
  virtual void SetManualRect(int layoutMode, rect manual) = 0;
  virtual void SetRects(const rect* tracked, int trackedCount, const rect* untracked,
                        int untrackedCount) = 0;
  virtual void SetIgnoreAreas(const rect* areas, int count) = 0;
  virtual void SetPinnedIds(int count, const int* ids) = 0;
  virtual void SetContentOffset(int offset) = 0;
  virtual void SetNameTag(int rectId, const char* name, const char* company,
                          const char* title) = 0;
  virtual void SetLatestManualRectId(int id) = 0;
  virtual void SetTransformingRectId(int id) = 0;
  // angle in (-180, 180].
  virtual void AddVoiceDirection(bool isVoice, int angle) = 0;
  // The time of the frame about to be laid out, in microseconds of a steady clock.
  virtual void SetFrameTime(int64_t microseconds) = 0;
  virtual void DoBufferLayout() = 0;
  virtual void SetSrcToSubwindow(int srcWidth, int srcHeight, int subWidth, int subHeight) = 0;
  virtual bool GetROIPairCount(int type, int* count) = 0;
  virtual bool GetROIPairs(int type, int count, roi_pair* pairs) = 0;
  virtual bool GetSubwindowROIPairCount(int type, int* count) = 0;
  virtual bool GetSubwindowROIPairs(int type, int count, roi_pair* pairs) = 0;

  // Settings.
  virtual void EnableBeamforming(bool enable) = 0;
  virtual void SetMirror(bool mirror) = 0;
  virtual void EnableROIAutoMerge(bool enable) = 0;
  virtual void SetLayoutMode(int mode) = 0;
  virtual void SetFitPolicy(int policy) = 0;
  virtual void SetHeightOffsetFor180Video(int offset) = 0;
  virtual void SetFocusModeROIExtendPixel(int pixels) = 0;
  virtual void SetMaxGridCount(int count) = 0;
  virtual void SetGridComposeModeMaxCount(int count) = 0;
  virtual void SetPIPSmallWindowSize(int level) = 0;
  virtual void SetAngleTolerance(int degrees) = 0;
  // Fills x, y, width, height.
  virtual void GetViewMoveIconRect(float* values, int count) = 0;
  virtual void EnableSubWindowDrawRect(int which, bool enable) = 0;
  virtual void SetDrawFlags(unsigned mask) = 0;
  virtual void SetEditWindowIgnoreIconFlags(unsigned mask) = 0;
  virtual bool GetFocusedRectInPIP(int reserved, int* id) = 0;
};

}  // namespace selvo
