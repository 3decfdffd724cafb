#include <QApplication>
#include <iostream>

#include "FileSizeLimit.h"
#include "MainViewController.h"
#include "ProductInfo.h"
#include "qt/DisplayPlatform.h"
#include "qt/QtMainQueue.h"
#include "util/CommandLine.h"

namespace {

constexpr const char* kProgram = "corvane-studio-uninstaller";

// What --help says: no synopsis beyond the name, no options of its own.
const corvane::CommandLine::Usage kUsage{
    {""},
    "Removes Corvane Studio from this computer, asking for an administrator's password\n"
    "through pkexec; a box in its window removes your settings, records and logs too. It\n"
    "takes no file or other name.\n",
    ""};

}  // namespace

int main(int argc, char** argv) {
  platform::FileSizeLimit::failWritesPastIt();
  // Help and version need no display: answered before the window system is reached.
  if (auto status = corvane::CommandLine::answerInformational(
          corvane::CommandLine::arguments(argc, argv), kProgram, "Corvane Studio Uninstaller",
          CORVANE_VERSION, kUsage, std::cout))
    return *status;
  uninstaller::ProductInfo::configureBundle();
  // Before the application object: the display platform as the main program picks it (X11
  // under a Wayland session with XWayland).
  platform::DisplayPlatform::applyPreferred();
  QApplication app(argc, argv);
  // The toolkit has taken its options: anything left ends the start before anything of it runs.
  if (auto status = corvane::CommandLine::refusal(
          corvane::CommandLine::decide(corvane::CommandLine::arguments(argc, argv)), kProgram, 0,
          std::cerr))
    return *status;
  platform::QtMainQueue::install();
  uninstaller::MainViewController window;
  window.show();
  int rc = app.exec();
  platform::QtMainQueue::uninstall();
  return rc;
}
