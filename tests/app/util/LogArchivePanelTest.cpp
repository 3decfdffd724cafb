#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include "TempDir.h"
#include "util/LogArchivePanel.h"

using corvane::LogArchivePanel;

TEST(LogArchivePanel, SuggestedNameIsPrefixDateAndZip) {
  EXPECT_EQ(QString(LogArchivePanel::namePrefix).size(), 12);
  QDateTime morning(QDate(2026, 12, 8), QTime(7, 41, 59));
  EXPECT_EQ(LogArchivePanel::suggestedFileName(morning), "Corvane_Logs_2026_12_08_07_41.zip");
  QDateTime evening(QDate(2027, 1, 2), QTime(23, 5));
  EXPECT_EQ(LogArchivePanel::suggestedFileName(evening), "Corvane_Logs_2027_01_02_23_05.zip");
}

namespace {

// Answers the modal dialog once it is up, from the dialog's own event loop.
class DialogAnswer {
 public:
  explicit DialogAnswer(std::function<void(QFileDialog*)> answer) {
    poll_.setInterval(0);
    QObject::connect(&poll_, &QTimer::timeout, [this, answer] {
      if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
        poll_.stop();
        answer(d);
      }
    });
    poll_.start();
  }

 private:
  QTimer poll_;
};

}  // namespace

TEST(LogArchivePanel, CancelGivesNoneAndConfirmGivesTheChosenZip) {
  QString title;
  QString suggested;
  DialogAnswer cancel([&](QFileDialog* d) {
    title = d->windowTitle();
    suggested = d->selectedFiles().value(0);
    d->reject();
  });
  EXPECT_FALSE(LogArchivePanel::selectLogArchivePath());
  EXPECT_EQ(title, "Select save path");
  EXPECT_TRUE(suggested.endsWith(".zip")) << suggested.toStdString();
  EXPECT_TRUE(suggested.section('/', -1).startsWith("Corvane_Logs_2")) << suggested.toStdString();

  testsupport::TempDir dir;
  QString target = QString::fromStdString(dir.file("logs"));
  DialogAnswer confirm([&](QFileDialog* d) {
    d->selectFile(target);
    static_cast<QDialog*>(d)->accept();  // QFileDialog::accept, as the OK button
  });
  auto chosen = LogArchivePanel::selectLogArchivePath();
  ASSERT_TRUE(chosen);
  EXPECT_EQ(*chosen, target + ".zip");  // the one allowed type
}
