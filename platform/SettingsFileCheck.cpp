#include "SettingsFileCheck.h"

namespace platform {

SettingsFileCheck::Verdict SettingsFileCheck::judge(const Reading& reading) {
  if (!reading.exists) return {};  // the first start
  if (!reading.refusal.empty()) return {true, true, reading.refusal};
  if (reading.bytes == 0) return {true, false, "is empty"};
  if (reading.formatError) return {true, true, "not a settings file"};
  if (reading.settings == 0) return {true, true, "holds no setting (not a settings file)"};
  return {};
}

}  // namespace platform
