#include "controlboard/ControlBoardViewModel.h"

#include <string>

#include "config/ConfigManager.h"
#include "log/LogManager.h"

namespace corvane {

ControlBoardViewModel& ControlBoardViewModel::shared() {
  static ControlBoardViewModel model;
  return model;
}

void ControlBoardViewModel::loadConfig() {
  loadConfig(ConfigManager::shared(), LogManager::shared());
}

void ControlBoardViewModel::loadConfig(const ConfigManager& config, LogManager& logger) {
  splitWindow->setValue(config.defaultLargeNavigator);
  if (dumped_) return;
  dumped_ = true;
  const std::string rule(46, '=');
  // For the day file only: once in the log of each start is enough, the terminal need not
  // repeat it.
  auto info = [&logger](const std::string& line) {
    logger.writeLine(LogManager::eventLine("Info", line, __FILE__, "loadConfig", __LINE__));
  };
  info(rule);
  info("ConfigManager properties");
  for (const auto& line : config.fieldDump()) info(line);
  info(rule);
}

}  // namespace corvane
