#include "shell/RelaunchArguments.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>

#include "Workspace.h"
#include "camera/PlayerManager.h"
#include "shell/AppDelegate.h"
#include "util/CommandLine.h"

namespace corvane {

std::vector<std::string> RelaunchArguments::arguments(std::vector<std::string> started,
                                                      const std::optional<std::string>& namedClip,
                                                      const std::optional<std::string>& playingClip) {
  if (namedClip) {
    auto last = std::find(started.rbegin(), started.rend(), *namedClip);
    if (last != started.rend()) started.erase(std::next(last).base());
  }
  if (playingClip && !playingClip->empty()) {
    // A relative name would be read from the new process's folder; a name that looks like an
    // option would be taken for one.
    std::string clip = *playingClip;
    if (clip.front() != '/')
      clip = QFileInfo(QString::fromStdString(clip)).absoluteFilePath().toStdString();
    started.push_back(clip);
  }
  return started;
}

std::vector<std::string> RelaunchArguments::process() {
  // The command line as the program read it, once the toolkit took its options out.
  std::vector<std::string> read;
  const QStringList all = QCoreApplication::arguments();
  for (qsizetype i = 1; i < all.size(); ++i) read.push_back(all[i].toLocal8Bit().toStdString());
  return arguments(platform::Workspace::processArguments(), CommandLine::decide(read, {AppDelegate::kDeactivateSwitch}).lastOperand(),
                   PlayerManager::shared().asset());
}

}  // namespace corvane
