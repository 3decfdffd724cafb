#pragma once

#include <QString>

namespace uninstaller {

// The names every page shows, from the program's Info values.
class ProductInfo {
 public:
  // "CFBundleName" without the word "Uninstaller".
  static QString productName();
  // "Version " and "CFBundleShortVersionString".
  static QString versionLine();
  static void configureBundle();
};

}  // namespace uninstaller
