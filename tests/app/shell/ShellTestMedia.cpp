#include "ShellTestMedia.h"

#include "TestMedia.h"

namespace shelltest {

PlayerFiles& playerFiles() {
  static PlayerFiles* files = [] {
    auto* f = new PlayerFiles();
    QImage photo = testmedia::photo("sample1.jpg");
    if (photo.isNull()) {
      f->error = "the test photographs are missing";
      return f;
    }
    f->video = f->dir.file("clip.mp4");
    testmedia::VideoSpec spec{.path = f->video};
    if (!testmedia::writeVideo(
            spec, [&](int i) { return testmedia::markedFrame(photo, 320, 240, i); }, f->error))
      return f;
    f->png = f->dir.file("a.png");
    f->jpg = f->dir.file("b.jpg");
    f->pngImage = photo.scaled(400, 300).convertToFormat(QImage::Format_RGB32);
    f->jpgImage = testmedia::photo("sample3.jpg").scaled(200, 150);
    if (!f->pngImage.save(QString::fromStdString(f->png)) ||
        !f->jpgImage.save(QString::fromStdString(f->jpg), "JPEG", 95))
      f->error = "cannot write the pictures";
    return f;
  }();
  return *files;
}

}  // namespace shelltest
