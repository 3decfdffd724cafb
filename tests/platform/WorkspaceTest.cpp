#include <gtest/gtest.h>

#include "Workspace.h"

namespace {

TEST(Workspace, OpensOnlyWebAddressesAndPassesThemWhole) {
  std::vector<std::vector<std::string>> spawned;
  platform::Workspace workspace{platform::Workspace::Environment{
      [&spawned](const std::vector<std::string>& argv) { return spawned.push_back(argv), true; }}};
  for (const char* refused :
       {"", "http://", "file:///etc/passwd", "javascript:alert(1)", "--help", "mailto:a@b.c",
        "https://k.example/a b", "https://k.example/\n-x", "ftp://k.example/f", "/usr/bin/xterm"})
    EXPECT_FALSE(workspace.openURL(refused)) << refused;
  EXPECT_TRUE(spawned.empty());
  EXPECT_TRUE(workspace.openURL("https://k.example/contact?customer=A%20B"));
  EXPECT_TRUE(workspace.openURL("HTTP://k.example"));
  EXPECT_EQ(spawned, (std::vector<std::vector<std::string>>{
                         {"xdg-open", "https://k.example/contact?customer=A%20B"},
                         {"xdg-open", "HTTP://k.example"}}));
}

TEST(Workspace, AFailedStartIsReported) {
  platform::Workspace workspace{
      platform::Workspace::Environment{[](const std::vector<std::string>&) { return false; }}};
  EXPECT_FALSE(workspace.openURL("https://k.example"));
  EXPECT_FALSE(workspace.openApplication("/nonexistent/program"));
}

}  // namespace
