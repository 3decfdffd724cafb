// Runs the whole main program, in this process, "with a camera": a Kestova Camera simulated at the
// kernel's boundary (its capture node streaming the demo clip as MJPEG, its sysfs entries, the
// udev events, its control requests) and the virtual camera's loopback node. Commands on standard
// input, or on a FIFO, unplug and plug the camera, fail a buffer, stall it, change its size.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SimulatedCameraRig.h"
#include "ToolOptions.h"
#include "camera/CameraManager.h"
#include "dispatch/MainQueue.h"
#include "shell/StudioMain.h"

namespace {

constexpr const char* kUsage =
    "Usage: corvane-studio-simulated-camera [options] [-- program arguments]\n"
    "\n"
    "Runs Corvane Studio against a simulated Kestova Camera: a V4L2 capture node streaming\n"
    "the clip's frames as MJPEG on a real clock, its metadata node, the camera's sysfs\n"
    "entries, udev add/remove events and its USB control requests, beside the virtual\n"
    "camera's loopback node. Everything above the kernel's side is the program's own.\n"
    "\n"
    "Options:\n"
    "  --clip PATH        the clip streamed (default: assets/demo/demo_360.mp4 of the source)\n"
    "  --size WxH         the camera's capture size (default 3840x1080; the camera's own\n"
    "                     4992x1248 works too)\n"
    "  --fps N            frames a second (default 30)\n"
    "  --frames N         frames of the clip encoded and streamed in a loop (default 360)\n"
    "  --commands PATH    read commands from this FIFO (made when missing) instead of stdin\n"
    "  --help             this text\n"
    "\n"
    "Commands, one a line:\n"
    "  unplug             the camera is unplugged (nodes gone, udev remove events)\n"
    "  plug               the camera is plugged back in (nodes back, udev add events)\n"
    "  wiggle [MS]        unplug, MS milliseconds (default 1000), plug\n"
    "  fail-buffer [ERR]  the next buffer's dequeue fails with ERR (EIO, default; ENODEV, ENXIO)\n"
    "  error-buffer       the next buffer comes back flagged as an error\n"
    "  stall              frames stop without an error; 'resume' lets them flow again\n"
    "  size WxH           the camera streams another size (unplug and plug to see it offered)\n"
    "  voice DEGREES      the camera hears a voice from DEGREES (its own direction: 0 at the\n"
    "                     middle of the picture it streams, growing to the right)\n"
    "  voice none         silence\n"
    "  voice fail [HOW]   the voice-direction request fails (stall, default; timeout; short)\n"
    "                     until 'voice answer'; the rest of the camera answers\n"
    "  voice answer       the voice-direction request answers again\n"
    "  status             frames streamed, frames the virtual camera took, connection state\n"
    "  quit               quits the program as its Quit menu does\n"
    "\n"
    "Example, under Xvfb:\n"
    "  mkfifo /tmp/cam; DISPLAY=:11 corvane-studio-simulated-camera --commands /tmp/cam &\n"
    "  echo unplug > /tmp/cam; echo plug > /tmp/cam; echo fail-buffer > /tmp/cam\n";

int errorNamed(const std::string& name) {
  if (name == "ENODEV") return ENODEV;
  if (name == "ENXIO") return ENXIO;
  if (name == "EAGAIN") return EAGAIN;
  if (name == "EINVAL") return EINVAL;
  return EIO;
}

bool parseSize(const std::string& text, int& width, int& height) {
  return std::sscanf(text.c_str(), "%dx%d", &width, &height) == 2 && width >= 2 && height >= 2 &&
         width % 2 == 0 && height % 2 == 0;
}

const char* modeName(corvane::ConnectMode mode) {
  switch (mode) {
    case corvane::ConnectMode::searching:
      return "searching";
    case corvane::ConnectMode::connected:
      return "connected";
    case corvane::ConnectMode::disconnected:
      return "disconnected";
    default:
      return "connecting";
  }
}

struct Commands {
  testsupport::SimulatedCameraRig& rig;
  std::string clip;
  int frames;
  corvane::CameraManager* camera = nullptr;  // set once the program runs (main thread)

  // The voice commands; false, with a line, for a malformed one.
  bool voice(std::istream& in, const std::string& argument) {
    using Failure = testsupport::SimulatedCamera::Failure;
    if (argument == "none") {
      rig.setVoice(std::nullopt);
    } else if (argument == "fail") {
      std::string how;
      in >> how;
      if (how.empty() || how == "stall")
        rig.failVoiceRequest(Failure::stall);
      else if (how == "timeout")
        rig.failVoiceRequest(Failure::timeout);
      else if (how == "short")
        rig.failVoiceRequest(Failure::shortReply);
      else {
        std::cerr << "voice fail: expected stall, timeout or short\n";
        return false;
      }
    } else if (argument == "answer") {
      rig.failVoiceRequest(std::nullopt);
    } else {
      char* end = nullptr;
      long degrees = std::strtol(argument.c_str(), &end, 10);
      if (argument.empty() || *end != '\0' || degrees < 0 || degrees > 359) {
        std::cerr << "voice: expected DEGREES (0..359), none, fail [HOW] or answer\n";
        return false;
      }
      rig.setVoice(int(degrees));
    }
    return true;
  }

  // One command; false at quit.
  bool run(const std::string& line) {
    std::istringstream in(line);
    std::string word, argument;
    in >> word >> argument;
    if (word.empty()) return true;
    if (word == "unplug") {
      rig.unplug();
    } else if (word == "plug") {
      rig.plug();
    } else if (word == "wiggle") {
      int ms = argument.empty() ? 1000 : std::atoi(argument.c_str());
      rig.unplug();
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      rig.plug();
    } else if (word == "fail-buffer") {
      rig.failOneBuffer(errorNamed(argument));
    } else if (word == "error-buffer") {
      rig.flagOneBuffer();
    } else if (word == "stall") {
      rig.setStalled(true);
    } else if (word == "resume") {
      rig.setStalled(false);
    } else if (word == "size") {
      int w = 0, h = 0;
      if (!parseSize(argument, w, h)) {
        std::cerr << "size: expected WxH, even numbers\n";
        return true;
      }
      std::string error;
      auto encoded = testsupport::SimulatedCameraRig::clipFrames(clip, w, h, frames, &error);
      if (encoded.empty()) {
        std::cerr << "size: " << error << "\n";
        return true;
      }
      rig.setFrames(w, h, std::move(encoded));
    } else if (word == "voice") {
      if (!voice(in, argument)) return true;
    } else if (word == "status") {
      platform::MainQueue::shared().async([this] {
        std::cout << "streamed " << rig.framesStreamed() << ", virtual camera took "
                  << rig.loopbackFrames() << ", camera "
                  << (camera ? modeName(camera->connectMode->value()) : "not started")
                  << (rig.pluggedIn() ? "" : " (unplugged)") << (rig.stalled() ? " (stalled)" : "")
                  << std::endl;
      });
    } else if (word == "quit") {
      platform::MainQueue::shared().async([] { std::raise(SIGTERM); });
      return false;
    } else {
      std::cerr << "unknown command: " << word << " (see --help)\n";
      return true;
    }
    std::cout << "done: " << line << std::endl;
    return true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::string clip = std::string(CORVANE_SOURCE_DIR) + "/assets/demo/demo_360.mp4";
  std::string commandsPath;
  int width = 3840, height = 1080, fps = 30, frames = 360;
  std::vector<char*> program = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&] { return tools::optionValue(argc, argv, i); };
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--clip") {
      clip = value();
    } else if (a == "--size") {
      if (!parseSize(value(), width, height)) {
        std::cerr << "--size: expected WxH, even numbers\n";
        return 2;
      }
    } else if (a == "--fps") {
      fps = std::max(1, std::atoi(value().c_str()));
    } else if (a == "--frames") {
      frames = std::max(1, std::atoi(value().c_str()));
    } else if (a == "--commands") {
      commandsPath = value();
    } else if (a == "--") {
      for (++i; i < argc; ++i) program.push_back(argv[i]);
    } else {
      std::cerr << "unknown option " << a << " (see --help)\n";
      return 2;
    }
  }
  program.push_back(nullptr);

  testsupport::SimulatedCameraRig::Options options;
  options.width = width;
  options.height = height;
  options.framesPerSecond = fps;
  std::string error;
  std::cerr << "encoding " << frames << " frames of " << clip << " at " << width << "x" << height
            << "...\n";
  options.frames = testsupport::SimulatedCameraRig::clipFrames(clip, width, height, frames, &error);
  if (options.frames.empty()) {
    std::cerr << "cannot stream " << clip << ": " << error << "\n";
    return 1;
  }
  // The program's managers keep the rig's devices for the process's life.
  auto* rig = new testsupport::SimulatedCameraRig(std::move(options));
  rig->install();
  rig->start();

  int input = commandsPath.empty() ? STDIN_FILENO : tools::openCommandFifo(commandsPath);
  if (input < 0) return 1;
  auto* commands = new Commands{*rig, clip, frames};
  // The reader blocks on its input for the program's life; it ends with the process.
  std::thread([commands, input] {
    FILE* in = ::fdopen(input, "r");
    if (!in) return;
    char line[256];
    while (std::fgets(line, sizeof line, in)) {
      std::string text(line);
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      if (!commands->run(text)) break;
    }
  }).detach();

  int rc =
      corvane::studioMain(int(program.size()) - 1, program.data(),
                          [commands](corvane::StudioRun& run) { commands->camera = &run.camera; });
  rig->stop();
  return rc;
}
