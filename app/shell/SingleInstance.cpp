#include "shell/SingleInstance.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "Bundle.h"
#include "dispatch/DispatchTimer.h"
#include "dispatch/MainQueue.h"
#include "log/LogManager.h"
#include "shell/SignalQuitter.h"

namespace corvane {

namespace {

// The slice of every wait of a later start: a signal ends the wait within it.
constexpr int kStepMs = 100;

// Lines about later starts and about the socket's misuse: a flood of requests writes a few.
constexpr size_t kLogBurst = 5;
constexpr auto kLogInterval = std::chrono::minutes(1);

std::string text(const QString& s) { return s.toStdString(); }

}  // namespace

SingleInstance::Environment SingleInstance::Environment::process() {
  Environment env;
  const std::string name = platform::Bundle::main().executableName().value_or("corvane-studio");
  if (auto lock = platform::InstanceLock::pathFor(name, &env.lockProblem)) {
    env.lockPath = *lock;
    env.socketPath = QString::fromStdString(lock->substr(0, lock->size() - 5) + ".socket");
  }
  env.wait = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  env.interrupted = [] { return SignalQuitter::received(); };
  env.user = ::getuid();
  return env;
}

SingleInstance::SingleInstance(Environment environment)
    : env_(std::move(environment)),
      lock_(env_.lockPath),
      startLines_(kLogBurst, kLogInterval, env_.clock),
      misuseLines_(kLogBurst, kLogInterval, env_.clock) {}

SingleInstance::~SingleInstance() { release(); }

SingleInstance::Start SingleInstance::start(const InstanceRequest& request) {
  answer_ = {};
  problem_.clear();
  auto interrupted = [this] { return env_.interrupted && env_.interrupted(); };
  auto unchecked = [this](const std::string& problem) {
    problem_ = problem;
    CV_LOG_WARNING("The instance lock cannot be had (" + problem +
                   "): this start goes on without the one-instance check, so another instance "
                   "may run beside it");
    return Start::unchecked;
  };
  if (env_.lockPath.empty())
    return unchecked("no private runtime folder" +
                     (env_.lockProblem.empty() ? std::string() : ": " + env_.lockProblem));
  if (!env_.lockProblem.empty())
    CV_LOG_WARNING("Runtime folders passed over: " + env_.lockProblem + "; the instance lock is " +
                   env_.lockPath);
  int budgetMs = env_.lockWaitMs;
  for (;;) {
    if (interrupted()) return Start::interrupted;
    switch (lock_.tryLock()) {
      case platform::InstanceLock::Result::locked:
        return Start::first;
      case platform::InstanceLock::Result::failed:
        return unchecked(lock_.problem());
      case platform::InstanceLock::Result::held:
        break;
    }
    switch (ask(request, budgetMs)) {
      case Asked::answered:
        return Start::answered;
      case Asked::foreign:
        return unchecked(problem_);
      case Asked::interrupted:
        return Start::interrupted;
      case Asked::unanswered:
        break;
    }
    // Nobody listens yet, or the holder is on its way out: a while for either to change.
    if (budgetMs <= 0) return Start::busy;
    if (env_.wait) env_.wait(kStepMs);
    budgetMs -= kStepMs;
  }
}

SingleInstance::Asked SingleInstance::ask(const InstanceRequest& request, int& budgetMs) {
  auto interrupted = [this] { return env_.interrupted && env_.interrupted(); };
  QLocalSocket socket;
  socket.connectToServer(env_.socketPath);
  // A Unix socket connects or is refused at once; only a full backlog keeps it connecting.
  while (socket.state() == QLocalSocket::ConnectingState) {
    if (interrupted()) return Asked::interrupted;
    if (budgetMs <= 0) return Asked::unanswered;
    if (!socket.waitForConnected(kStepMs)) budgetMs -= kStepMs;
  }
  if (socket.state() != QLocalSocket::ConnectedState) return Asked::unanswered;

  // Only the user's own instance is believed: one of another user would keep this one out.
  struct ucred peer {};
  socklen_t length = sizeof peer;
  if (::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &length) !=
      0) {
    problem_ = "the peer of " + text(env_.socketPath) + " cannot be told: " + std::strerror(errno);
    return Asked::foreign;
  }
  if (peer.uid != env_.user) {
    problem_ = text(env_.socketPath) + " is answered by user " + std::to_string(peer.uid) +
               ", not by user " + std::to_string(env_.user);
    return Asked::foreign;
  }

  socket.write(request.line());
  // The answer comes once the running instance's window exists: a start at the same instant
  // waits for it here.
  while (!socket.canReadLine()) {
    if (socket.bytesAvailable() > InstanceRequest::kMaxLineBytes) return Asked::unanswered;
    if (socket.state() != QLocalSocket::ConnectedState) return Asked::unanswered;
    if (interrupted()) return Asked::interrupted;
    if (budgetMs <= 0) return Asked::unanswered;
    if (socket.bytesToWrite() > 0) {
      if (!socket.waitForBytesWritten(kStepMs)) budgetMs -= kStepMs;
    } else if (!socket.waitForReadyRead(kStepMs)) {
      budgetMs -= kStepMs;
    }
  }
  auto answer = InstanceRequest::parseAnswer(socket.readLine(InstanceRequest::kMaxLineBytes + 1));
  if (!answer) return Asked::unanswered;
  answer_ = *answer;
  return Asked::answered;
}

bool SingleInstance::listen() {
  if (!lock_.isLocked()) return false;
  if (server_) return true;
  // A socket left by a crashed instance is ours to replace: we hold the lock.
  QLocalServer::removeServer(env_.socketPath);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(env_.socketPath)) {
    CV_LOG_WARNING("Later starts cannot reach this instance: " +
                   server_->errorString().toStdString());
    server_.reset();
    return false;
  }
  QLocalServer* server = server_.get();
  QObject::connect(server, &QLocalServer::newConnection, server, [this, server] {
    while (QLocalSocket* socket = server->nextPendingConnection()) accept(socket);
  });
  // A program on its way out answers no more: a start meanwhile (a relaunch) waits for the lock.
  if (QCoreApplication* app = QCoreApplication::instance())
    QObject::connect(app, &QCoreApplication::aboutToQuit, server, [this] { stopListening(); });
  return true;
}

void SingleInstance::accept(QLocalSocket* socket) {
  if (connections_.size() >= kMaxConnections) {
    logMisuse("The instance socket has " + std::to_string(connections_.size()) +
                   " connections open: one more is closed");
    socket->abort();
    socket->deleteLater();
    return;
  }
  auto deadline = std::make_unique<platform::DispatchTimer>(
      platform::MainQueue::shared(), env_.clock ? *env_.clock : platform::Clock::shared());
  deadline->setEventHandler([this, socket] {
    logMisuse("A connection to the instance socket sent no request in time: closed");
    drop(socket);
  });
  deadline->schedule(kReadDeadline, platform::Clock::Duration(0));
  deadline->resume();
  connections_[socket] = std::move(deadline);
  QObject::connect(socket, &QLocalSocket::disconnected, socket, [this, socket] { drop(socket); });
  QObject::connect(socket, &QLocalSocket::readyRead, socket,
                   [this, socket] { readRequest(socket); });
  if (socket->bytesAvailable() > 0) readRequest(socket);
}

void SingleInstance::readRequest(QLocalSocket* socket) {
  auto it = connections_.find(socket);
  // Read already (its answer may wait for the window): what follows is not asked for.
  if (it == connections_.end() || !it->second) return;
  if (!socket->canReadLine()) {
    if (socket->bytesAvailable() > InstanceRequest::kMaxLineBytes) {
      logMisuse("An overlong request on the instance socket: closed");
      drop(socket);
    }
    return;
  }
  auto request = InstanceRequest::parse(socket->readLine(InstanceRequest::kMaxLineBytes + 1));
  if (!request) {
    logMisuse("An unknown request on the instance socket: closed");
    drop(socket);
    return;
  }
  it->second.reset();  // the request is in: no deadline for the answer
  if (serving_)
    answer(socket, *request);
  else
    waiting_.emplace_back(socket, *request);
}

void SingleInstance::answer(QLocalSocket* socket, const InstanceRequest& request) {
  if (handlers_.activate) handlers_.activate();
  if (request.kind == InstanceRequest::Kind::show) {
    logStart("Another start of the program: this window comes forward");
    reply(socket, InstanceRequest::shownAnswer());
    return;
  }
  if (!handlers_.play) {
    answerPlay(socket, request.clip, QStringLiteral("this instance plays no clips"));
    return;
  }
  // The answer waits for the player: a file it cannot read is "not played", not "plays".
  std::weak_ptr<int> life = life_;
  QPointer<QLocalSocket> asker(socket);
  handlers_.play(request.clip, [this, life, asker, clip = request.clip](const QString& problem) {
    if (life.expired()) return;
    answerPlay(asker, clip, problem);
  });
}

void SingleInstance::answerPlay(QLocalSocket* socket, const QString& clip, const QString& problem) {
  const std::string start = "Another start of the program with the clip " + text(clip);
  if (problem.isEmpty()) {
    logStart(start + ": this window comes forward and plays it");
    reply(socket, InstanceRequest::playingAnswer());
  } else {
    logStart(start + ": this window comes forward; the clip is not played: " + text(problem), true);
    reply(socket, InstanceRequest::notPlayedAnswer(problem));
  }
}

void SingleInstance::reply(QLocalSocket* socket, const QByteArray& line) {
  // The asker may have given up (or the program is on its way out) meanwhile.
  if (!socket || !connections_.count(socket)) return;
  socket->write(line);
  socket->flush();
  // Closes once the answer is out; its disconnection forgets it.
  socket->disconnectFromServer();
}

void SingleInstance::drop(QLocalSocket* socket) {
  auto it = connections_.find(socket);
  if (it == connections_.end()) return;
  connections_.erase(it);
  std::erase_if(waiting_, [socket](const auto& entry) { return entry.first == socket; });
  // Its signals may still come (the abort's own disconnection): it is forgotten already.
  socket->abort();
  socket->deleteLater();
}

void SingleInstance::serve(Handlers handlers) {
  handlers_ = std::move(handlers);
  serving_ = true;
  auto waiting = std::move(waiting_);
  waiting_.clear();
  for (auto& [socket, request] : waiting)
    if (connections_.count(socket)) answer(socket, request);
}

void SingleInstance::logStart(const std::string& line, bool warning) {
  auto admitted = startLines_.admit(line);
  if (!admitted) return;
  if (warning)
    CV_LOG_WARNING(*admitted);
  else
    CV_LOG_INFO(*admitted);
}

void SingleInstance::logMisuse(const std::string& line) {
  if (auto admitted = misuseLines_.admit(line)) CV_LOG_WARNING(*admitted);
}

void SingleInstance::stopListening() {
  std::vector<QLocalSocket*> open;
  for (const auto& entry : connections_) open.push_back(entry.first);
  for (QLocalSocket* socket : open) drop(socket);
  waiting_.clear();
  serving_ = false;
  if (server_) server_->close();
}

void SingleInstance::release() {
  stopListening();
  // Deletes the connections' sockets too: they are the server's children.
  server_.reset();
  lock_.unlock();
}

}  // namespace corvane
