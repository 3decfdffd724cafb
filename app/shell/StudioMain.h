#pragma once

#include <functional>

#include "util/CommandLine.h"

class QApplication;

namespace corvane {

class AppDelegate;
class CameraManager;
class CustomWindow;

// What the start-up has made, for whoever runs the program in its own process (the executable's
// main, the end-to-end test), while the event loop runs.
struct StudioRun {
  QApplication& app;
  AppDelegate& delegate;
  CustomWindow& window;
  CameraManager& camera;
};

// What the main program's --help says of it.
CommandLine::Usage studioUsage();

// The main program's whole life: start-up, the event loop, termination. `started`, if given, is
// called once the window is shown and the start-up steps have run, before the loop starts.
// Returns the exit status. SIGINT, SIGTERM and SIGHUP quit the loop as the Quit menu does.
int studioMain(int argc, char** argv, const std::function<void(StudioRun&)>& started = {});

}  // namespace corvane
