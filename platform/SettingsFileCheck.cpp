#include "SettingsFileCheck.h"

namespace platform {

SettingsFileCheck::Verdict SettingsFileCheck::judge(const Reading& reading) {
  if (!reading.exists) return {};  // the first start
  if (!reading.refusal.empty()) return {true, true, reading.refusal};
  if (reading.bytes == 0) return {true, false, "is empty"};
  if (reading.settings == 0)
    return {true, true,
            reading.formatError ? "not a settings file" : "holds no setting (not a settings file)"};
  // The settings of the other lines are worth more than the defaults.
  if (!reading.damage.empty()) return {true, true, "is damaged in part: " + reading.damage, true};
  if (reading.formatError) return {true, true, "not a settings file"};
  return {};
}

}  // namespace platform
