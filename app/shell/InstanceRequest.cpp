#include "shell/InstanceRequest.h"

#include <QFile>

namespace corvane {

namespace {

constexpr char kShow[] = "show\n";
constexpr char kPlay[] = "play ";
constexpr char kNotPlayed[] = "not played: ";

bool sendable(const QByteArray& path) {
  return path.startsWith('/') && !path.contains('\n') && !path.contains('\0') &&
         path.size() + qsizetype(sizeof kPlay) <= InstanceRequest::kMaxLineBytes;
}

}  // namespace

std::optional<InstanceRequest> InstanceRequest::play(const QString& absolutePath) {
  if (!sendable(QFile::encodeName(absolutePath))) return std::nullopt;
  InstanceRequest request;
  request.kind = Kind::play;
  request.clip = absolutePath;
  return request;
}

QByteArray InstanceRequest::line() const {
  if (kind == Kind::show) return kShow;
  return kPlay + QFile::encodeName(clip) + '\n';
}

std::optional<InstanceRequest> InstanceRequest::parse(const QByteArray& line) {
  if (line == kShow) return show();
  if (!line.startsWith(kPlay) || !line.endsWith('\n')) return std::nullopt;
  QByteArray path = line.mid(qsizetype(sizeof kPlay) - 1).chopped(1);
  if (!sendable(path)) return std::nullopt;
  return play(QFile::decodeName(path));
}

QByteArray InstanceRequest::notPlayedAnswer(const QString& reason) {
  QByteArray text = reason.toUtf8().replace('\n', ' ');
  return kNotPlayed + text.left(kMaxLineBytes - qsizetype(sizeof kNotPlayed)) + '\n';
}

std::optional<InstanceRequest::Answer> InstanceRequest::parseAnswer(const QByteArray& line) {
  Answer answer;
  if (line == shownAnswer()) {
    answer.shown = true;
  } else if (line == playingAnswer()) {
    answer.shown = answer.playing = true;
  } else if (line.startsWith(kNotPlayed) && line.endsWith('\n')) {
    answer.shown = true;
    answer.notPlayed = QString::fromUtf8(line.mid(qsizetype(sizeof kNotPlayed) - 1).chopped(1));
    if (answer.notPlayed.isEmpty()) answer.notPlayed = QStringLiteral("no reason given");
  } else {
    return std::nullopt;
  }
  return answer;
}

}  // namespace corvane
