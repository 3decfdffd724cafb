#include <QApplication>
#include <iostream>

#include "FileSizeLimit.h"
#include "LogManager.h"
#include "MainController.h"
#include "ResourceBundleClass.h"
#include "qt/DisplayPlatform.h"
#include "qt/QtMainQueue.h"
#include "util/CommandLine.h"

namespace {

constexpr const char* kProgram = "corvane-studio-updater";

// What --help says: no synopsis beyond the name, no options of its own.
const corvane::CommandLine::Usage kUsage{
    {""},
    "Updates the firmware of the Kestova Camera plugged in over USB: finds the camera, asks\n"
    "for newer firmware (or takes an update folder you pick), updates the camera and\n"
    "restarts it. Corvane Studio starts it when a newer firmware is offered. It takes no\n"
    "file or other name.\n",
    ""};

}  // namespace

int main(int argc, char** argv) {
  platform::FileSizeLimit::failWritesPastIt();
  // Help and version need no display: answered before the window system is reached.
  if (auto status = corvane::CommandLine::answerInformational(
          corvane::CommandLine::arguments(argc, argv), kProgram, "Corvane Studio Updater",
          CORVANE_VERSION, kUsage, std::cout))
    return *status;
  updater::ResourceBundleClass::configureBundle();
  // Before the application object: the display platform as the main program picks it (X11
  // under a Wayland session with XWayland).
  platform::DisplayPlatform::applyPreferred();
  QApplication app(argc, argv);
  // The toolkit has taken its options: anything left ends the start before anything of it runs.
  if (auto status = corvane::CommandLine::refusal(
          corvane::CommandLine::decide(corvane::CommandLine::arguments(argc, argv)), kProgram, 0,
          std::cerr))
    return *status;
  updater::LogManager::shared();
  platform::QtMainQueue::install();
  int rc = 0;
  {
    updater::MainController window(updater::MainController::Environment::process());
    window.show();
    rc = app.exec();
  }
  updater::LogManager::releaseFrameworkLines();
  platform::QtMainQueue::uninstall();
  return rc;
}
