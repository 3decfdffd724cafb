#pragma once

#include <QObject>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QNetworkAccessManager;

namespace updater {

// The updater's two calls to the cloud: the firmware version check (a form-encoded POST) and
// the package download into a file. Network I/O runs in Qt's network layer; the handlers run
// on the thread that owns the service (the main thread).
//
// Each request's handlers are connected to an object of the request's own, which is deleted on
// this thread once the request has ended. Left connected to the reply, they would go with the
// reply's connections, and Qt's network thread may be the one that clears those (it takes its
// own connections to the reply apart there), destroying them on a thread they were never used
// on.
class CloudService : public QObject {
  Q_OBJECT
 public:
  using Parameters = std::vector<std::pair<std::string, std::string>>;
  // The answer's JSON, or none with the error's text; and the request's address.
  using CheckHandler = std::function<void(std::optional<nlohmann::json> response,
                                          const std::string& error, const std::string& url)>;
  using ProgressHandler = std::function<void(double fraction)>;
  using DownloadHandler = std::function<void(bool ok, const std::string& error)>;

  // What a version-check answer says.
  struct VersionAnswer {
    std::string fwVersion;
    bool hasNewFwVersion = false;
    // The download address: the answer's link as it is when it is http: or https:, else the
    // storage service's base address in front of it; empty without a link.
    std::string link;
    // The package's SHA-256 as 64 lower-case hex digits, when the answer gives one
    // ("fwVersionObj"."sha256"); empty otherwise.
    std::string sha256;
    std::vector<std::string> missingKeys;
  };

  // The largest package the updater takes. A firmware package is tens of MB (the camera's
  // image, the AI image, the audio image); this leaves ample room while a hostile or broken
  // server can neither fill the disk nor keep the download going for ever.
  static constexpr qint64 kMaxPackageBytes = qint64(256) << 20;

  explicit CloudService(QObject* parent = nullptr);
  // With another bound for the package (tests use a small one).
  CloudService(qint64 maxPackageBytes, QObject* parent);
  ~CloudService() override;

  void checkVersion(const std::string& url, const Parameters& parameters, CheckHandler handler);
  // Writes the body to a temporary file beside `destination` as it arrives and renames it into
  // place once complete, creating the folders on the way; a failed download leaves no file.
  // The download stops, with the reason, when the announced length or the bytes received pass
  // the package bound, and at the first write that fails (the disk full, the folder gone).
  void download(const std::string& url, const std::string& destination, ProgressHandler progress,
                DownloadHandler handler);

  static VersionAnswer parseVersionAnswer(const nlohmann::json& response,
                                          const std::string& storageBaseURL);
  // Whether a package may be downloaded from this address: https only, so nobody on the way
  // can hand the camera other firmware.
  static bool isSecureLink(const std::string& url);
  // The SHA-256 of a file as 64 lower-case hex digits; empty when it cannot be read.
  static std::string sha256OfFile(const std::string& path);
  // "a=1&b=x%20y" with the form encoding's escapes.
  static std::string formBody(const Parameters& parameters);
  // A base address and a path joined by exactly one slash.
  static std::string join(const std::string& base, const std::string& path);

 private:
  // The object a new request's handlers are connected to; delete it to disconnect them.
  QObject* newRequest();

  // The parent of the requests' objects, deleted before the network layer.
  QObject* requests_;
  QNetworkAccessManager* network_;
  qint64 maxPackageBytes_ = kMaxPackageBytes;
};

}  // namespace updater
