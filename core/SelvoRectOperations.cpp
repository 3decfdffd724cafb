#include "SelvoRectOperations.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "OrlithLog.h"

namespace orlith {

void SelvoRectOperations::SetFaceEnlargeRatio(double ratio) {
  if (auto rm = rectManager()) rm->SetFaceEnlargeRatio(float(ratio));
}

void SelvoRectOperations::SetDetectResultOverlappingThreshold(float threshold) {
  if (auto rm = rectManager()) rm->SetDetectResultOverlappingThreshold(threshold);
}

void SelvoRectOperations::SetDetectResultUpdateRatio(float ratio) {
  if (auto rm = rectManager()) rm->SetDetectResultUpdateRatio(ratio);
}

void SelvoRectOperations::SetDetectRectDirtyThreshold(int count) {
  if (auto rm = rectManager()) rm->SetDetectRectDirtyThreshold(count);
}

void SelvoRectOperations::SetMaxDetectRectSideLength(int side) {
  if (auto rm = rectManager()) rm->SetMaxDetectRectSideLength(side);
}

void SelvoRectOperations::ClearPrevDetectResults() {
  if (auto rm = rectManager()) rm->ClearPrevDetectResults();
}

void SelvoRectOperations::EnableAutoDetectTracking() {
  if (auto rm = rectManager()) rm->EnableAutoDetectTracking();
}

void SelvoRectOperations::DisableAutoDetectTracking() {
  if (auto rm = rectManager()) rm->DisableAutoDetectTracking();
}

SelvoRectOperations::rect SelvoRectOperations::_convert_to_rect(int x1, int y1, int x2, int y2,
                                                                int bottomBound) {
  if (bottomBound != 0) {
    y1 = std::min(y1, bottomBound);
    y2 = std::min(y2, bottomBound);
  }
  rect r;
  r.x = float(std::min(x1, x2));
  r.width = float(std::abs(x2 - x1));
  r.y = float(std::min(y1, y2));
  r.height = float(std::abs(y2 - y1));
  r.id = -1;
  r.score = -1;
  return r;
}

void SelvoRectOperations::SetTempRect(int x1, int y1, int x2, int y2) {
  if (auto rm = rectManager()) rm->SetTempRect(_convert_to_rect(x1, y1, x2, y2, 0));
}

bool SelvoRectOperations::AddNewRect(int x1, int y1, int x2, int y2) {
  auto rm = rectManager();
  return rm && rm->AddManualRect(_convert_to_rect(x1, y1, x2, y2, 0));
}

void SelvoRectOperations::AddIgnoreNewRect(int x1, int y1, int x2, int y2) {
  if (auto rm = rectManager()) rm->AddIgnoreManualRect(_convert_to_rect(x1, y1, x2, y2, 0));
}

void SelvoRectOperations::CancelTempRect() {
  if (auto rm = rectManager()) rm->CancelTempRect();
}

bool SelvoRectOperations::FindRect(int x, int y, bool& isTrack, bool& isDetect, int& id) {
  auto rm = rectManager();
  return rm && rm->FindRect(x, y, isTrack, isDetect, id);
}

void SelvoRectOperations::RemoveRect(bool tracked, int id) {
  if (auto rm = rectManager()) rm->RemoveRect(tracked, id);
}

void SelvoRectOperations::ChangeRectTracked(bool tracked, int id) {
  if (auto rm = rectManager()) rm->ChangeRectTracked(tracked, id);
}

void SelvoRectOperations::RemoveIgnoreAreas() {
  if (auto rm = rectManager()) rm->RemoveIgnoreAreas();
}

void SelvoRectOperations::ClearAllRect() {
  if (auto rm = rectManager()) rm->ClearAllRects();
}

void SelvoRectOperations::TrackAllRects() {
  if (auto rm = rectManager()) rm->TrackAllRects();
}

void SelvoRectOperations::UntrackAllRects() {
  if (auto rm = rectManager()) rm->UntrackAllRects();
}

void SelvoRectOperations::PinRect(int id) {
  if (auto rm = rectManager()) rm->PinRect(id);
}

bool SelvoRectOperations::IsRectPinned(int id) {
  auto rm = rectManager();
  return rm && rm->IsRectPinned(id);
}

bool SelvoRectOperations::StartTransformRect(bool, int id) {
  auto rm = rectManager();
  return rm && rm->StartTransformRect(id);
}

void SelvoRectOperations::SetTransformingRect(int x, int y, int width, int height) {
  if (auto rm = rectManager()) rm->SetTransformingRect(x, y, width, height);
}

void SelvoRectOperations::EndTransformRect() {
  if (auto rm = rectManager()) rm->EndTransformRect();
}

void SelvoRectOperations::GetTransformingRect(int& x, int& y, int& width, int& height) {
  if (auto rm = rectManager()) rm->GetTransformingRect(x, y, width, height);
}

void SelvoRectOperations::GetDisplayRect(int id, int& x, int& y, int& width, int& height) {
  if (auto rm = rectManager()) rm->GetDisplayRect(id, x, y, width, height);
}

long SelvoRectOperations::GetIgnoredRectCount() {
  auto rm = rectManager();
  if (!rm) return 0;
  size_t n = rm->GetIgnoreAreas().size();
  if (n > size_t(INT_MAX)) {
    ORLITH_LOG_ERROR("int overflowed.");
    return 0;
  }
  return long(n);
}

void SelvoRectOperations::GetIgnoreRect(int index, int& x, int& y, int& width, int& height) {
  if (auto rm = rectManager()) rm->GetIgnoreRect(index, x, y, width, height);
}

void SelvoRectOperations::GetIgnoreRectById(int id, int& x, int& y, int& width, int& height) {
  if (auto rm = rectManager()) rm->GetIgnoreRectById(id, x, y, width, height);
}

void SelvoRectOperations::GetManualRect(std::vector<SelvoRect>& out) {
  auto rm = rectManager();
  if (!rm) return;
  for (const rect& r : rm->GetManualRect()) {
    SelvoRect s;
    s.rect = DoubleRect{r.x, r.y, r.width, r.height};
    out.push_back(s);
  }
}

void SelvoRectOperations::GetDetectRect(std::vector<SelvoRect>& out) {
  auto rm = rectManager();
  if (!rm) return;
  for (const rect& r : rm->GetDetectRect()) {
    SelvoRect s;
    s.rect = DoubleRect{r.x, r.y, r.width, r.height};
    out.push_back(s);
  }
}

}  // namespace orlith
