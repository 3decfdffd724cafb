#include "ProgramCommandLine.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

namespace testsupport {

ProgramRun runProgram(const std::string& path, const std::vector<std::string>& arguments) {
  QProcess process;
  QStringList list;
  for (const auto& a : arguments) list << QString::fromStdString(a);
  // Nothing that asks is told apart from a display being absent: the answers need none.
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.insert("QT_QPA_PLATFORM", "offscreen");
  process.setProcessEnvironment(env);
  process.start(QString::fromStdString(path), list);
  ProgramRun run;
  if (!process.waitForStarted(-1) || !process.waitForFinished(-1)) return run;
  run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = process.readAllStandardOutput().toStdString();
  run.err = process.readAllStandardError().toStdString();
  return run;
}

void expectTheSuitesCommandLine(const std::string& path, const std::string& program,
                                const std::string& versionLine) {
  const std::string tryHelp = "Try '" + program + " --help' for more information.\n";
  for (const char* help : {"--help", "-h"}) {
    ProgramRun run = runProgram(path, {help});
    EXPECT_EQ(run.status, 0) << help;
    EXPECT_EQ(run.out.rfind("Usage: " + program + "\n", 0), 0u) << run.out;
    for (const char* part : {"-h, --help", "--version", "  --  ", "(1)"})
      EXPECT_NE(run.out.find(part), std::string::npos) << part;
    EXPECT_EQ(run.err, "");
  }
  ProgramRun version = runProgram(path, {"--version", "--bogus"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, versionLine);
  struct Refused {
    std::vector<std::string> arguments;
    std::string said;
  } refused[] = {
      {{"--bogus"}, program + ": unknown option '--bogus'\n"},
      // The main program's switch is not theirs.
      {{"-deactivateExt"}, program + ": unknown option '-deactivateExt'\n"},
      {{"--", "--help"}, program + ": takes no file or other name, was given '--help'\n"},
      {{"update.zip"}, program + ": takes no file or other name, was given 'update.zip'\n"},
  };
  for (const Refused& r : refused) {
    ProgramRun run = runProgram(path, r.arguments);
    EXPECT_EQ(run.status, 2) << r.arguments.front();
    // After whatever the toolkit says of the environment (a runtime folder missing, say).
    const std::string said = r.said + tryHelp;
    EXPECT_TRUE(run.err.size() >= said.size() &&
                run.err.compare(run.err.size() - said.size(), said.size(), said) == 0)
        << run.err;
    EXPECT_EQ(run.err.find(r.said), run.err.rfind(r.said)) << run.err;
    EXPECT_EQ(run.out, "") << r.arguments.front();
  }
}

}  // namespace testsupport
