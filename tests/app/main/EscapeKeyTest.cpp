#include <gtest/gtest.h>

#include "main/EscapeKey.h"

using corvane::EditMode;
using corvane::EscapeKey;

TEST(EscapeKey, ThePopupOnTopFirstThenTheOpenEdit) {
  using Kind = EscapeKey::Action::Kind;
  struct Row {
    const char* what;
    std::vector<EscapeKey::Popup> popups;
    EditMode mode;
    EscapeKey::Action action;
  };
  const Row rows[] = {
      {"nothing open", {{false, 3}, {false, 5}}, EditMode::none, {}},
      {"no popups at all", {}, EditMode::none, {}},
      {"one popup", {{false, 3}, {true, 5}}, EditMode::none, {Kind::closePopup, 1}},
      {"the higher of two", {{true, 7}, {true, 5}}, EditMode::none, {Kind::closePopup, 0}},
      {"the higher, listed later",
       {{true, 2}, {false, 9}, {true, 4}},
       EditMode::none,
       {Kind::closePopup, 2}},
      {"a popup over an edit", {{true, 1}}, EditMode::ignore, {Kind::closePopup, 0}},
      {"the ignore-area editor", {{false, 1}}, EditMode::ignore, {Kind::cancelEdit, 0}},
      {"the field-of-view editor", {}, EditMode::fov, {Kind::cancelEdit, 0}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(EscapeKey::decide(r.popups, r.mode), r.action);
  }
}
