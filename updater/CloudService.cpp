#include "CloudService.h"

#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include "WholeWrite.h"
#include "config/LenientJson.h"
#include "net/BoundedBodyReader.h"

namespace updater {

CloudService::CloudService(QObject* parent)
    : QObject(parent), requests_(new QObject(this)), network_(new QNetworkAccessManager(this)) {}

CloudService::CloudService(qint64 maxPackageBytes, QObject* parent) : CloudService(parent) {
  maxPackageBytes_ = maxPackageBytes;
}

CloudService::~CloudService() {
  // Before the network layer and its replies: the handlers go here, on this thread.
  delete requests_;
}

QObject* CloudService::newRequest() { return new QObject(requests_); }

std::string CloudService::join(const std::string& base, const std::string& path) {
  if (base.empty()) return path;
  bool baseSlash = base.back() == '/';
  bool pathSlash = !path.empty() && path.front() == '/';
  if (baseSlash && pathSlash) return base + path.substr(1);
  if (!baseSlash && !pathSlash) return base + "/" + path;
  return base + path;
}

std::string CloudService::formBody(const Parameters& parameters) {
  std::string body;
  for (const auto& [key, value] : parameters) {
    if (!body.empty()) body += '&';
    body += QUrl::toPercentEncoding(QString::fromStdString(key)).toStdString() + "=" +
            QUrl::toPercentEncoding(QString::fromStdString(value)).toStdString();
  }
  return body;
}

CloudService::VersionAnswer CloudService::parseVersionAnswer(const nlohmann::json& response,
                                                             const std::string& storageBaseURL) {
  VersionAnswer answer;
  const nlohmann::json* data = nullptr;
  if (response.is_object() && response.contains("data") && response["data"].is_object())
    data = &response["data"];
  if (!data) {
    answer.missingKeys = {"data"};
    return answer;
  }
  if (data->contains("fwVersion") && (*data)["fwVersion"].is_string())
    answer.fwVersion = (*data)["fwVersion"].get<std::string>();
  else
    answer.missingKeys.push_back("fwVersion");
  if (data->contains("hasNewFwVersion") && (*data)["hasNewFwVersion"].is_boolean())
    answer.hasNewFwVersion = (*data)["hasNewFwVersion"].get<bool>();
  else
    answer.missingKeys.push_back("hasNewFwVersion");
  const nlohmann::json* object = nullptr;
  if (data->contains("fwVersionObj") && (*data)["fwVersionObj"].is_object())
    object = &(*data)["fwVersionObj"];
  else
    answer.missingKeys.push_back("fwVersionObj");
  if (object && object->contains("link") && (*object)["link"].is_string()) {
    std::string link = (*object)["link"].get<std::string>();
    if (link.rfind("http:", 0) == 0 || link.rfind("https:", 0) == 0)
      answer.link = link;
    else if (!link.empty())
      answer.link = join(storageBaseURL, link);
  } else if (object) {
    answer.missingKeys.push_back("link");
  }
  if (object && object->contains("sha256") && (*object)["sha256"].is_string()) {
    std::string digest = (*object)["sha256"].get<std::string>();
    std::transform(digest.begin(), digest.end(), digest.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    // Anything but a digest is kept as it is: it can then match no package, so it stops the
    // update instead of being ignored.
    answer.sha256 = digest;
  }
  return answer;
}

bool CloudService::isSecureLink(const std::string& url) {
  QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
  return parsed.isValid() && parsed.scheme().compare("https", Qt::CaseInsensitive) == 0 &&
         !parsed.host().isEmpty();
}

std::string CloudService::sha256OfFile(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!hash.addData(&file)) return {};
  return hash.result().toHex().toStdString();
}

void CloudService::checkVersion(const std::string& url, const Parameters& parameters,
                                CheckHandler handler) {
  QNetworkRequest request(QUrl(QString::fromStdString(url)));
  request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
  request.setTransferTimeout(30000);
  QNetworkReply* reply = network_->post(request, QByteArray::fromStdString(formBody(parameters)));
  QObject* context = newRequest();
  connect(reply, &QNetworkReply::finished, context, [reply, url, handler, context] {
    std::unique_ptr<QObject> ended(context);
    reply->deleteLater();
    int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200) {
      std::string error = reply->error() != QNetworkReply::NoError
                              ? reply->errorString().toStdString()
                              : "HTTP status " + std::to_string(status);
      if (handler) handler(std::nullopt, error, url);
      return;
    }
    QByteArray body = reply->readAll();
    // Bounded before anything walks or prints it (the answer is logged whole).
    nlohmann::json json;
    std::string why;
    if (!corvane::LenientJson::parse(body.toStdString(), json, &why)) {
      if (handler) handler(std::nullopt, "the answer is not JSON: " + why, url);
      return;
    }
    if (handler) handler(std::move(json), "", url);
  });
}

namespace {

// The folder a download writes into, as it was when the download began. The file being written
// may have no name of its own yet (Qt writes an unnamed file and names it at the end), so a
// folder removed under the download shows only in the folder: every byte written after that
// goes where nothing can ever name it.
struct FolderIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool known = false;

  static FolderIdentity of(const std::string& folder) {
    FolderIdentity id;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      id.device = st.st_dev;
      id.inode = st.st_ino;
      id.known = true;
    }
    return id;
  }
  bool operator==(const FolderIdentity& other) const {
    return known == other.known && device == other.device && inode == other.inode;
  }
};

// What one download knows between its reply's signals.
struct DownloadState {
  std::shared_ptr<QSaveFile> file;
  std::string folder;
  FolderIdentity folderIdentity;
};

// The whole chunk onto the file's own descriptor; empty, or the system's reason. Qt's file
// layer reports a write that stopped part-way (a disk that filled up in the middle of a chunk)
// without a reason ("Unknown error"), so the bytes do not go through it.
std::string writeAll(QSaveFile& file, const QByteArray& chunk) {
  int fd = file.handle();
  if (fd < 0) return file.errorString().toStdString();
  int error = platform::WholeWrite::to(fd, chunk.constData(), size_t(chunk.size()));
  return error ? std::strerror(error) : std::string();
}

}  // namespace

void CloudService::download(const std::string& url, const std::string& destination,
                            ProgressHandler progress, DownloadHandler handler) {
  QString target = QString::fromStdString(destination);
  QDir().mkpath(QFileInfo(target).absolutePath());
  auto state = std::make_shared<DownloadState>();
  state->folder = QFileInfo(target).absolutePath().toStdString();
  state->folderIdentity = FolderIdentity::of(state->folder);
  state->file = std::make_shared<QSaveFile>(target);
  // Unbuffered: every byte is written by writeAll, on the descriptor.
  if (!state->file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
    std::string error =
        "cannot write " + destination + ": " + state->file->errorString().toStdString();
    if (handler) handler(false, error);
    return;
  }
  QNetworkRequest request(QUrl(QString::fromStdString(url)));
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setTransferTimeout(60000);
  QNetworkReply* reply = network_->get(request);
  QObject* context = newRequest();
  auto reader = corvane::BoundedBodyReader::attach(
      reply, context, maxPackageBytes_, {"the package", "an update package"},
      [state, destination](const QByteArray& chunk) -> std::string {
        std::string refused = writeAll(*state->file, chunk);
        if (!refused.empty()) return "cannot write " + destination + ": " + refused;
        if (!(FolderIdentity::of(state->folder) == state->folderIdentity))
          return "cannot write " + destination + ": its folder " + state->folder + " was removed";
        return {};
      });
  connect(reply, &QNetworkReply::downloadProgress, context,
          [progress](qint64 received, qint64 total) {
            if (progress && total > 0) progress(double(received) / double(total));
          });
  connect(reply, &QNetworkReply::finished, context,
          [reply, state, reader, handler, destination, context] {
            std::unique_ptr<QObject> ended(context);
            reply->deleteLater();
            reader->drain();
            int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            // Our own reason first: an abort reads as "Operation canceled" to the network layer.
            std::string error = reader->stopped();
            if (error.empty() && reply->error() != QNetworkReply::NoError)
              error = reply->errorString().toStdString();
            else if (error.empty() && status != 200)
              error = "HTTP status " + std::to_string(status);
            QSaveFile& file = *state->file;
            if (!error.empty()) {
              file.cancelWriting();
              file.commit();
              if (handler) handler(false, error);
              return;
            }
            // The last blocks may reach the disk only now, so a full disk can show here first.
            if (!file.commit()) {
              if (handler)
                handler(false,
                        "cannot write " + destination + ": " + file.errorString().toStdString());
              return;
            }
            if (handler) handler(true, "");
          });
}

}  // namespace updater
