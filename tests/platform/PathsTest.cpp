#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "Bundle.h"
#include "Paths.h"
#include "TempDir.h"

using platform::Paths;

TEST(Paths, EnvironmentMovesEveryRoot) {
  testsupport::ScopedHome home;
  EXPECT_EQ(Paths::caches(), home.caches());
  EXPECT_EQ(Paths::config(), home.config());
  EXPECT_EQ(Paths::localLibrary(), home.localLibrary());
}

TEST(Paths, FallsBackToXdgThenHomeAndToNoneWithoutEither) {
  std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  unsetenv("CORVANE_CACHES_DIR");
  setenv("XDG_CACHE_HOME", "/x/cache", 1);
  EXPECT_EQ(Paths::caches(), "/x/cache");
  unsetenv("XDG_CACHE_HOME");
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(Paths::caches(), "/home/someone/.cache");
  unsetenv("HOME");
  EXPECT_FALSE(Paths::caches().has_value());
  if (!savedHome.empty()) setenv("HOME", savedHome.c_str(), 1);
}

TEST(Paths, MakeFoldersCreatesParents) {
  testsupport::TempDir dir;
  std::string deep = dir.file("a/b/c");
  EXPECT_TRUE(Paths::makeFolders(deep));
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  EXPECT_EQ(Paths::join("/a/", "b"), "/a/b");
  EXPECT_EQ(Paths::join("/a", "b"), "/a/b");
}

TEST(Bundle, ResourcesLieInShareBesideTheExecutable) {
  platform::Bundle bundle;
  bundle.configure({{"CFBundleExecutable", "tool"}, {"CFBundleShortVersionString", "1.2"}}, "tool");
  unsetenv("CORVANE_RESOURCES_DIR");
  auto exe = std::filesystem::path(platform::Bundle::executablePath());
  EXPECT_EQ(bundle.resourcesPath(), (exe.parent_path().parent_path() / "share" / "tool").string());
  EXPECT_EQ(bundle.executableName(), "tool");
  EXPECT_EQ(bundle.shortVersion(), "1.2");
  EXPECT_FALSE(bundle.bundleName().has_value());

  testsupport::TempDir dir;
  setenv("CORVANE_RESOURCES_DIR", dir.path().c_str(), 1);
  EXPECT_FALSE(bundle.pathForResource("Config.json").has_value());
  { FILE* f = std::fopen(dir.file("Config.json").c_str(), "w"); std::fclose(f); }
  EXPECT_EQ(bundle.pathForResource("Config.json"), dir.file("Config.json"));
  unsetenv("CORVANE_RESOURCES_DIR");
}
