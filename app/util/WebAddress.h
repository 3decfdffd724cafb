#pragma once

#include <QString>
#include <QUrl>

namespace corvane {

// Addresses that come from the network or the configuration are opened only when they are web
// pages: never a file, a program or another scheme handed to the desktop's opener. The
// workspace's own rule (scheme, no blanks or control characters) and a well-formed URL with a
// host.
class WebAddress {
 public:
  // A valid http or https address with a host.
  static bool isWebAddress(const QUrl& url);
  // The same for a text, parsed strictly.
  static bool isWebAddress(const QString& text);
};

}  // namespace corvane
