#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "cloud/CompanyModel.h"
#include "widgets/CustomButton.h"

namespace platform {
class Queue;
class Workspace;
}  // namespace platform

namespace corvane {

// The About window: product, version (marked on the staging cloud), the connected camera with
// its firmware, the rights line, and a button to the company's web page. Each selection of the
// menu item makes a new one, which goes when it is closed.
class AboutViewController : public QWidget {
  Q_OBJECT

 public:
  struct Camera {
    bool connected = false;
    std::string deviceName;
    std::string firmwareVersion;
  };
  struct Environment {
    std::optional<std::string> version;  // the program's short version
    std::function<bool()> isStaging;
    std::function<Camera()> camera;
    // The company record the application keeps; none until its request was answered.
    std::function<std::optional<CompanyModel>()> companyModel;
    std::string makerAddress;  // the maker's web site; empty: none
    platform::Workspace* workspace = nullptr;
    // Where a page that did not open is told: the main queue, and the alert (none: the day log
    // only).
    platform::Queue* main = nullptr;
    std::function<void(const std::string& message)> alert;
    static Environment process();
  };

  // A new About window, not shown yet.
  static AboutViewController* instantiate(Environment environment = Environment::process());
  explicit AboutViewController(Environment environment, QWidget* parent = nullptr);

  // Refreshes the camera line (also on every showing).
  void viewWillAppear();
  void onClickWebsite();
  // The address the website button opens: the company's About page when it has one, else the
  // maker's address; empty when neither is known.
  std::string websiteAddress() const;

  QLabel* productLabel() const { return productLabel_; }
  QLabel* versionLabel() const { return versionLabel_; }
  QLabel* cameraLabel() const { return cameraLabel_; }
  QLabel* rightLabel() const { return rightLabel_; }
  CustomButton* websiteButton() const { return websiteButton_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void viewDidLoad();

  Environment env_;
  QPointer<QLabel> productLabel_;
  QPointer<QLabel> versionLabel_;
  QPointer<QLabel> cameraLabel_;
  QPointer<QLabel> rightLabel_;
  QPointer<CustomButton> websiteButton_;
};

}  // namespace corvane
