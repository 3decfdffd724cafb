#include "widgets/ToolTipDelayStyle.h"

#include <QApplication>

namespace corvane {

ToolTipDelayStyle::ToolTipDelayStyle(int wakeUpDelayMs) : wakeUpDelayMs_(wakeUpDelayMs) {}

int ToolTipDelayStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                 QStyleHintReturn* returnData) const {
  if (hint == QStyle::SH_ToolTip_WakeUpDelay) return wakeUpDelayMs_;
  return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void ToolTipDelayStyle::apply(int wakeUpDelayMs) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
  if (auto* own = qobject_cast<ToolTipDelayStyle*>(QApplication::style())) {
    own->setWakeUpDelayMs(wakeUpDelayMs);
    return;
  }
  QApplication::setStyle(new ToolTipDelayStyle(wakeUpDelayMs));
}

}  // namespace corvane
