#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QWidget>
#include <functional>

namespace uninstaller {

// The second page: a short progress run after the removal, then on to the last page.
class ProgressController : public QWidget {
  Q_OBJECT
 public:
  explicit ProgressController(QWidget* parent = nullptr);

  std::function<void()> okAction;
  // Starts the 1 s, 2 s, 3 s steps on the main queue.
  void start();

  QLabel* valueLabel;
  QLabel* versionLabel;
  QLabel* descLabel;
  QProgressBar* progressBar;
};

}  // namespace uninstaller
