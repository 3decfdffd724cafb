#include "ProductInfo.h"

#include "Bundle.h"

namespace uninstaller {

void ProductInfo::configureBundle() {
  platform::Bundle::main().configure(
      {
          {"CFBundleName", "Corvane Studio Uninstaller"},
          {"CFBundleExecutable", "corvane-studio-uninstaller"},
          {"CFBundleShortVersionString", CORVANE_VERSION},
      },
      "corvane-studio-uninstaller");
}

QString ProductInfo::productName() {
  QString name = QString::fromStdString(platform::Bundle::main().bundleName().value_or(""));
  return name.remove("Uninstaller").simplified();
}

QString ProductInfo::versionLine() {
  return "Version " +
         QString::fromStdString(platform::Bundle::main().shortVersion().value_or(""));
}

}  // namespace uninstaller
