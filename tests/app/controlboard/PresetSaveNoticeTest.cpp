#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "controlboard/PresetSaveNotice.h"

// One row: a save's outcome and what is told after it.
TEST(PresetSaveNotice, TellsTheFirstFailureOnceUntilASaveGoesThrough) {
  struct Row {
    bool saved;
    const char* reason;
    std::optional<std::string> told;
  } rows[] = {
      {true, "", std::nullopt},
      {false, "write .Presets.json.save-a1: No space left on device",
       "write .Presets.json.save-a1: No space left on device"},
      {false, "write .Presets.json.save-b2: No space left on device", std::nullopt},
      {false, "rename: Read-only file system", std::nullopt},
      {true, "", std::nullopt},
      {true, "", std::nullopt},
      {false, "rename: Read-only file system", "rename: Read-only file system"},
      {false, "rename: Read-only file system", std::nullopt},
      {true, "", std::nullopt},
      {false, "", ""},
  };
  corvane::PresetSaveNotice notice;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(&row - rows));
    EXPECT_EQ(notice.after(row.saved, row.reason), row.told);
  }
}
