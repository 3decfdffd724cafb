#include "widgets/DisplayCell.h"

#include <QVBoxLayout>

#include "widgets/CustomButton.h"

namespace corvane {

DisplayCell::DisplayCell(QWidget* parent) : QWidget(parent) {
  setObjectName("DisplayCell");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  displayButton = new CustomButton(QRect(), this);
  displayButton->setObjectName("displayButton");
  displayButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  layout->addWidget(displayButton);
}

}  // namespace corvane
