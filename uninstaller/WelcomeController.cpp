#include "WelcomeController.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ProductInfo.h"

namespace uninstaller {

WelcomeController::WelcomeController(QWidget* parent)
    : QWidget(parent), runner_(&RemovalRunner::run) {
  descLabel = new QLabel("Uninstall " + ProductInfo::productName(), this);
  QFont big = descLabel->font();
  big.setPointSize(big.pointSize() + 6);
  descLabel->setFont(big);
  versionLabel = new QLabel(ProductInfo::versionLine(), this);
  checkButton = new CustomButton(QString(), this);
  checkButton->setFixedSize(20, 20);
  checkButton->setAccessibleName("removeEverything");
  auto* checkText = new QLabel("Also remove my settings, records and logs", this);
  nextButton = new CustomButton("Continue", this);
  failureLabel = new QLabel(ProductInfo::productName() + " was not removed.", this);
  failureLabel->setStyleSheet("color: #d32f2f;");
  failureLabel->setWordWrap(true);
  failureLabel->setAlignment(Qt::AlignHCenter);
  failureLabel->setHidden(true);

  auto* row = new QHBoxLayout;
  row->addWidget(checkButton);
  row->addWidget(checkText, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addStretch();
  layout->addWidget(descLabel, 0, Qt::AlignHCenter);
  layout->addWidget(versionLabel, 0, Qt::AlignHCenter);
  layout->addStretch();
  layout->addLayout(row);
  layout->addWidget(failureLabel);
  layout->addWidget(nextButton, 0, Qt::AlignHCenter);

  // Continue comes first, then the box.
  setTabOrder(nextButton, checkButton);

  connect(checkButton, &QPushButton::clicked, this, [this] { checkAction(); });
  connect(nextButton, &QPushButton::clicked, this, [this] { nextAction(); });
}

void WelcomeController::checkAction() { checkButton->setSelected(!checkButton->isSelected()); }

void WelcomeController::nextAction() {
  if (!runner_) return;
  const RemovalRunner::Outcome outcome = runner_(checkButton->isSelected());
  failureLabel->setText(ProductInfo::productName() + " was not removed" +
                        (outcome.reason.empty()
                             ? QString(".")
                             : ": " + QString::fromStdString(outcome.reason) + "."));
  failureLabel->setHidden(outcome.removed);
  if (outcome.removed && okAction) okAction();
}

}  // namespace uninstaller
