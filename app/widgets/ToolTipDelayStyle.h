#pragma once

#include <QProxyStyle>

namespace corvane {

// The application's style with the tool tips' wake-up delay set by the program.
class ToolTipDelayStyle : public QProxyStyle {
  Q_OBJECT

 public:
  explicit ToolTipDelayStyle(int wakeUpDelayMs);

  int wakeUpDelayMs() const { return wakeUpDelayMs_; }
  void setWakeUpDelayMs(int ms) { wakeUpDelayMs_ = ms; }

  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override;

  // Puts the delay into the running application's style (installing this proxy once).
  static void apply(int wakeUpDelayMs);

 private:
  int wakeUpDelayMs_;
};

}  // namespace corvane
