#include "ProgressController.h"

#include <QPointer>
#include <QVBoxLayout>

#include "ProductInfo.h"
#include "dispatch/Clock.h"
#include "dispatch/MainQueue.h"

namespace uninstaller {

ProgressController::ProgressController(QWidget* parent) : QWidget(parent) {
  descLabel = new QLabel(ProductInfo::productName() + " is uninstalling", this);
  versionLabel = new QLabel(ProductInfo::versionLine(), this);
  valueLabel = new QLabel("0", this);
  progressBar = new QProgressBar(this);
  progressBar->setRange(0, 100);
  progressBar->setValue(0);
  progressBar->setTextVisible(false);
  progressBar->setStyleSheet("QProgressBar::chunk { background: #1e88e5; }");
  auto* layout = new QVBoxLayout(this);
  layout->addStretch();
  layout->addWidget(descLabel, 0, Qt::AlignHCenter);
  layout->addWidget(versionLabel, 0, Qt::AlignHCenter);
  layout->addWidget(progressBar);
  layout->addWidget(valueLabel, 0, Qt::AlignHCenter);
  layout->addStretch();
}

void ProgressController::start() {
  auto& clock = platform::Clock::shared();
  auto at = clock.now();
  QPointer<ProgressController> self(this);
  auto onMain = [self](std::function<void(ProgressController&)> step) {
    return [self, step] {
      platform::MainQueue::shared().async([self, step] {
        if (self) step(*self);
      });
    };
  };
  clock.callAt(at + std::chrono::seconds(1), onMain([](ProgressController& p) {
                 p.valueLabel->setText("90");
                 p.progressBar->setValue(p.progressBar->value() + 90);
               }));
  clock.callAt(at + std::chrono::seconds(2), onMain([](ProgressController& p) {
                 p.valueLabel->setText("100");
                 p.progressBar->setValue(p.progressBar->value() + 10);
               }));
  clock.callAt(at + std::chrono::seconds(3), onMain([](ProgressController& p) {
                 if (p.okAction) p.okAction();
               }));
}

}  // namespace uninstaller
