#include "CompleteController.h"

#include <QApplication>
#include <QVBoxLayout>

#include "ProductInfo.h"

namespace uninstaller {

CompleteController::CompleteController(QWidget* parent) : QWidget(parent) {
  descLabel = new QLabel(ProductInfo::productName() + " uninstall complete", this);
  versionLabel = new QLabel(ProductInfo::versionLine(), this);
  finishButton = new CustomButton("Close", this);
  auto* layout = new QVBoxLayout(this);
  layout->addStretch();
  layout->addWidget(descLabel, 0, Qt::AlignHCenter);
  layout->addWidget(versionLabel, 0, Qt::AlignHCenter);
  layout->addStretch();
  layout->addWidget(finishButton, 0, Qt::AlignHCenter);
  connect(finishButton, &QPushButton::clicked, this, [] { QApplication::quit(); });
}

}  // namespace uninstaller
