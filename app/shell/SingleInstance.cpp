#include "shell/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <chrono>
#include <thread>

#include "Bundle.h"
#include "log/LogManager.h"

namespace corvane {

SingleInstance::Environment SingleInstance::Environment::process() {
  Environment env;
  const std::string name = platform::Bundle::main().executableName().value_or("corvane-studio");
  env.lockPath = platform::InstanceLock::pathFor(name);
  env.socketPath =
      QString::fromStdString(env.lockPath.substr(0, env.lockPath.size() - 5) + ".socket");
  env.wait = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  return env;
}

SingleInstance::SingleInstance(Environment environment)
    : env_(std::move(environment)), lock_(env_.lockPath) {}

SingleInstance::~SingleInstance() { release(); }

SingleInstance::Start SingleInstance::start() {
  if (lock_.tryLock()) return Start::first;
  if (askRunningInstance()) return Start::answered;
  constexpr int kStep = 100;
  for (int waited = 0; waited < env_.lockWaitMs; waited += kStep) {
    if (env_.wait) env_.wait(kStep);
    if (lock_.tryLock()) return Start::first;
  }
  return lock_.tryLock() ? Start::first : Start::busy;
}

bool SingleInstance::askRunningInstance() {
  QLocalSocket socket;
  socket.connectToServer(env_.socketPath);
  if (!socket.waitForConnected(env_.answerWaitMs)) return false;
  socket.write(kShowRequest);
  if (!socket.waitForBytesWritten(env_.answerWaitMs)) return false;
  while (!socket.canReadLine()) {
    if (!socket.waitForReadyRead(env_.answerWaitMs)) return false;
  }
  return socket.readLine() == kShownAnswer;
}

bool SingleInstance::listen(std::function<void()> activate) {
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
  QObject::connect(server, &QLocalServer::newConnection, server, [server, activate] {
    while (QLocalSocket* socket = server->nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, activate] {
        if (!socket->canReadLine()) {
          // Only a short line is ever asked.
          if (socket->bytesAvailable() > 64) socket->disconnectFromServer();
          return;
        }
        if (socket->readLine() != kShowRequest) {
          socket->disconnectFromServer();
          return;
        }
        CV_LOG_INFO("Another start of the program: this window comes forward");
        if (activate) activate();
        socket->write(kShownAnswer);
        socket->flush();
        socket->disconnectFromServer();
      });
    }
  });
  return true;
}

void SingleInstance::release() {
  if (server_) {
    server_->close();
    server_.reset();
  }
  lock_.unlock();
}

}  // namespace corvane
