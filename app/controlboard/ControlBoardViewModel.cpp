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
  const std::string rule(46, '=');
  auto info = [&logger](const std::string& line) {
    logger.info(line, __FILE__, "loadConfig", __LINE__);
  };
  info(rule);
  info("ConfigManager properties");
  for (const auto& line : config.fieldDump()) info(line);
  info(rule);
}

}  // namespace corvane
