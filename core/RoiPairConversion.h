#pragma once

#include <utility>
#include <vector>

#include "SelvoRoiPair.h"
#include "selvo/SelvoTypes.h"

namespace orlith {

// Turns the layout engine's roi_pair records into SelvoRoiPair objects, with the name tags of
// the frame filled in by rectangle id.
class RoiPairConversion {
 public:
  using TagPairs = std::vector<std::pair<int, selvo::PersonInfo>>;

  // mainLayout: the type comes from the name-tag style bits; otherwise the sub-window type.
  static SelvoRoiPair convert(const selvo::roi_pair& record, bool mainLayout, const TagPairs& tags);
  // "Company" and "Title" stand in for empty texts.
  static std::string companyOf(const selvo::PersonInfo& person);
  static std::string titleOf(const selvo::PersonInfo& person);
};

}  // namespace orlith
