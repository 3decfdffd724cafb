#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace corvane {

// What a later start of the program asks the running instance, one line over the instance
// socket, and the one-line answer it gets:
//   "show\n"               -> "shown\n"
//   "play <abs path>\n"    -> "playing\n", or "not played: <reason>\n"
// A clip travels as an absolute path (the later start's working folder is not the running
// instance's), in the file system's own bytes.
struct InstanceRequest {
  enum class Kind { show, play };

  Kind kind = Kind::show;
  QString clip;  // absolute, for play

  // The longest line either side sends: a path of PATH_MAX bytes and the word before it.
  static constexpr qint64 kMaxLineBytes = 4096 + 16;

  static InstanceRequest show() { return {}; }
  // None when the path cannot be sent (not absolute, or holding a line break or a NUL).
  static std::optional<InstanceRequest> play(const QString& absolutePath);

  QByteArray line() const;
  // None for anything but one of the two requests, whole, with its line break.
  static std::optional<InstanceRequest> parse(const QByteArray& line);

  static QByteArray shownAnswer() { return QByteArrayLiteral("shown\n"); }
  static QByteArray playingAnswer() { return QByteArrayLiteral("playing\n"); }
  static QByteArray notPlayedAnswer(const QString& reason);

  // The running instance's answer, read back by the later start.
  struct Answer {
    bool shown = false;   // the window came forward
    bool playing = false;  // the clip was handed to the player
    QString notPlayed;     // why the clip was not played
  };
  static std::optional<Answer> parseAnswer(const QByteArray& line);
};

}  // namespace corvane
