#include <QPainterPath>
#include <QTest>

#include "../widgets/WidgetTestSupport.h"
#include "BoardFixture.h"
#include "shell/CustomWindow.h"
#include "widgets/DisplayCell.h"
#include "widgets/FocusRing.h"

using corvane::ConnectMode;
using corvane::CustomButton;

class SmallBoardTest : public BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    config->gridComposeMode = config->focusMode = config->gridMode = false;
    config->speakerMode = config->topdownMode = false;
  }
};

TEST_F(SmallBoardTest, NoModeEnabledGivesOneComposeButton) {
  connectCamera();
  makeSmallBoard();
  EXPECT_EQ(small->displayModeArray(), (std::vector<int>{10, -1}));
  EXPECT_EQ(small->maxPage(), 1);
  ASSERT_EQ(small->visibleButtons().size(), 2u);
  EXPECT_DOUBLE_EQ(small->visibleButtons()[1]->alphaValue(), 0.0) << "the placeholder";
  EXPECT_EQ(small->visibleButtons()[0]->width(), 30);
  EXPECT_FALSE(small->preButton->isVisibleTo(small.get()));
  EXPECT_FALSE(small->nextButton->isVisibleTo(small.get()));
}

TEST_F(SmallBoardTest, SevenModesMakeThreePagesAndPagingStopsAtTheEnds) {
  config->gridComposeMode = config->focusMode = config->bodyFitMode = config->gridMode = true;
  config->presentationMode = config->speakerMode = config->panoramaMode = true;
  connectCamera();
  makeSmallBoard();
  EXPECT_EQ(small->displayModeArray(), (std::vector<int>{10, 11, 90, 12, 13, 14, 18, -1}));
  EXPECT_EQ(small->maxPage(), 3);
  EXPECT_EQ(tagsOf(small->visibleButtons()), (std::vector<int>{10, 11, 90}));
  small->onClickPrev();
  EXPECT_EQ(small->currentPageIndex(), 0);
  small->onClickNext();
  EXPECT_TRUE(small->preButton->isVisibleTo(small.get()));
  EXPECT_TRUE(small->nextButton->isVisibleTo(small.get()));
  small->onClickNext();
  EXPECT_EQ(tagsOf(small->visibleButtons()), (std::vector<int>{18, -1}));
  EXPECT_FALSE(small->nextButton->isVisibleTo(small.get()));
  small->onClickNext();
  EXPECT_EQ(small->currentPageIndex(), 2);
  EXPECT_EQ(small->displayStackView0->count(), 2);
  // Each mode button sits in a cell of its own, and paging rebuilds the cells without leaving
  // the old ones behind.
  EXPECT_EQ(small->findChildren<corvane::DisplayCell*>().size(),
            small->displayModeButtons().size());
  for (CustomButton* b : small->displayModeButtons())
    EXPECT_EQ(qobject_cast<corvane::DisplayCell*>(b->parentWidget())->displayButton, b);
  small->onClickPrev();
  small->setGeometry(0, 0, 40, 128);
  small->show();
  widgettest::grabTo(small.get(), QStringLiteral("s22-small-board"));
}

TEST_F(SmallBoardTest, FullWindowButtonStandsAtTheTopOfEveryPage) {
  config->gridComposeMode = config->focusMode = config->bodyFitMode = config->gridMode = true;
  config->presentationMode = config->speakerMode = config->panoramaMode = true;
  connectCamera();
  makeSmallBoard();
  int asked = 0;
  small->fullWindowAction = [&] { ++asked; };
  small->setGeometry(0, 0, 40, 128);
  small->show();
  CustomButton* back = small->fullWindowButton;
  ASSERT_TRUE(back);
  EXPECT_FALSE(back->toolTip().isEmpty());
  for (int page = 0; page < small->maxPage(); ++page) {
    SCOPED_TRACE(page);
    while (small->currentPageIndex() < page) small->onClickNext();
    small->layout()->activate();
    EXPECT_TRUE(back->isVisible());
    const QRect corner = back->geometry();
    EXPECT_EQ(corner.left(), 0);
    EXPECT_EQ(corner.top(), corvane::SmallControlBoardController::kEdgeRoom);
    for (CustomButton* b : small->visibleButtons()) {
      const QRect cell = b->parentWidget()->geometry();
      EXPECT_FALSE(cell.intersects(corner)) << b->tag;
      EXPECT_LE(cell.bottom(), 127) << b->tag;
    }
    if (small->nextButton->isVisible()) {
      EXPECT_LE(small->nextButton->geometry().bottom(), 127);
    }
    // Beside the previous arrow, not under it: a click there is the way back.
    EXPECT_EQ(small->childAt(corner.center()), back);
    QTest::mouseClick(back, Qt::LeftButton);
    EXPECT_EQ(asked, page + 1);
  }
  // It needs no camera.
  manager->stopConnection();
  settle();
  back->click();
  EXPECT_EQ(asked, small->maxPage() + 1);
}

TEST_F(SmallBoardTest, VeloskFirstPage) {
  config->vendor = "Velosk";
  config->gridMode = config->speakerMode = config->focusMode = config->gridComposeMode = true;
  connectCamera();
  makeSmallBoard();
  EXPECT_EQ(tagsOf(small->visibleButtons()), (std::vector<int>{12, 14, 11}));
}

TEST_F(SmallBoardTest, SharedSpeakerButtonAndThePageOfAModeAfterIt) {
  config->gridComposeMode = config->focusMode = config->gridMode = true;
  config->presentationMode = config->speakerMode = config->singleSpeakerMode = true;
  config->topdownMode = config->panoramaMode = true;
  connectCamera();
  makeSmallBoard();
  // Eight modes, one button fewer: the speaker modes share one.
  EXPECT_EQ(small->displayModeArray(), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 18, -1, -1}));
  EXPECT_EQ(tagsOf(small->displayModeButtons()),
            (std::vector<int>{10, 11, 12, 13, 14, 16, 18, -1, -1}));

  manager->displayMode->setValue(corvane::Display::topDown);
  settle();
  small->showSimpleUI(true);
  EXPECT_EQ(small->currentPageIndex(), 1);
  EXPECT_EQ(tagsOf(small->visibleButtons()), (std::vector<int>{13, 14, 16}));
  EXPECT_TRUE(withTag(small->visibleButtons(), 16)->isSelected);

  CustomButton* speaker = withTag(small->visibleButtons(), 14);
  speaker->click();
  settle();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::speaker);
  speaker->click();
  settle();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::singleSpeaker);
  EXPECT_EQ(speaker->tag, 15);
  EXPECT_TRUE(speaker->isSelected);
  speaker->click();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::speaker);
  EXPECT_EQ(speaker->tag, 14);
}

TEST_F(SmallBoardTest, DisconnectedPressesChangeNothingAndConnectingFallsBackToCompose) {
  config->gridComposeMode = config->gridMode = true;
  plugCamera();
  makeManager();
  makeSmallBoard();
  manager->displayMode->setValue(corvane::Display::presentation);  // no button
  settle();
  for (CustomButton* b : small->visibleButtons())
    if (b->tag != -1) {
      EXPECT_DOUBLE_EQ(b->alphaValue(), 0.3);
    }
  CustomButton* grid = withTag(small->visibleButtons(), 12);
  grid->click();
  settle();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::presentation);
  EXPECT_FALSE(grid->isSelected);
  connect();
  settle();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::compose);
  EXPECT_TRUE(withTag(small->visibleButtons(), 10)->isSelected);
}

TEST_F(SmallBoardTest, DefaultModeAndAudioFit) {
  config->gridComposeMode = config->gridMode = config->audioFitMode = true;
  config->defaultDisplayMode = 2;
  connectCamera();
  makeSmallBoard();
  small->setupDefaultMode();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::grid);
  config->defaultDisplayMode = 6;  // top-down: not offered
  small->setupDefaultMode();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::compose);
  EXPECT_EQ(withTag(small->displayModeButtons(), 91), nullptr);
  small->shouldAudioFit(true);
  EXPECT_NE(withTag(small->displayModeButtons(), 91), nullptr);
}

TEST_F(BoardTest, BothBoardsShowTheSameModeChosenOnEither) {
  connectCamera();
  makeBoard();
  makeSmallBoard();
  withTag(small->visibleButtons(), 11)->click();
  settle();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::focus);
  EXPECT_TRUE(withTag(board->displayModeButtons(), 11)->isSelected);
  withTag(board->displayModeButtons(), 12)->click();
  settle();
  // The small board follows when the window switches to the simple layout.
  small->showSimpleUI(true);
  EXPECT_TRUE(withTag(small->visibleButtons(), 12)->isSelected);
  EXPECT_FALSE(withTag(small->visibleButtons(), 11)->isSelected);
}

// From the keyboard the column reads top to bottom: the way back, the arrow up, the page's
// modes, the arrow down; a placeholder is passed by, and Space pages on.
TEST_F(SmallBoardTest, TabGoesDownTheColumnAndPassesThePlaceholderBy) {
  config->gridComposeMode = config->focusMode = config->bodyFitMode = config->gridMode = true;
  config->presentationMode = config->speakerMode = config->panoramaMode = true;
  connectCamera();
  makeSmallBoard();
  small->setGeometry(0, 0, 40, 200);
  small->show();
  QApplication::setActiveWindow(small.get());
  auto round = [&] {
    std::vector<QWidget*> stops;
    small->fullWindowButton->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 12; ++i) {
      stops.push_back(QApplication::focusWidget());
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      if (QApplication::focusWidget() == stops.front()) break;
    }
    return stops;
  };
  small->onClickNext();
  std::vector<QWidget*> expected = {small->fullWindowButton, small->preButton};
  for (CustomButton* b : small->visibleButtons()) expected.push_back(b);
  expected.push_back(small->nextButton);
  EXPECT_EQ(round(), expected);

  QTest::keyClick(small->nextButton, Qt::Key_Space);
  ASSERT_EQ(small->currentPageIndex(), 2);
  ASSERT_EQ(tagsOf(small->visibleButtons()), (std::vector<int>{18, -1}));
  EXPECT_EQ(round(), (std::vector<QWidget*>{small->fullWindowButton, small->preButton,
                                            small->visibleButtons()[0]}));
  QApplication::setActiveWindow(nullptr);
}

// The column is the window's right edge from its top to its bottom, where the content's
// corners are rounded: each control it holds, on every page, and the focus ring round it are
// drawn whole inside the window's shape.
TEST_F(SmallBoardTest, EveryControlAndItsFocusRingLieInsideTheWindowsShape) {
  config->gridComposeMode = config->focusMode = config->bodyFitMode = config->gridMode = true;
  config->presentationMode = config->speakerMode = config->panoramaMode = true;
  connectCamera();
  makeSmallBoard();
  // The simple layout's content: the preview, then the 40 x 128 column at the right.
  QWidget window;
  window.resize(240, 128);
  auto* column = new QWidget(&window);
  column->setGeometry(200, 0, 40, 128);
  small->setParent(column);
  small->setGeometry(0, 0, 40, 128);
  auto* ring = new corvane::FocusRing(&window);
  window.show();
  QApplication::setActiveWindow(&window);
  QPainterPath shape;
  const double r = corvane::CustomWindow::kContentCornerRadius;
  shape.addRoundedRect(QRectF(window.rect()), r, r);
  auto inWindow = [&](QWidget* w) { return QRectF(w->mapTo(&window, QPoint(0, 0)), w->size()); };
  auto rounded = [](QRectF rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
  };
  for (int page = 0; page < small->maxPage(); ++page) {
    while (small->currentPageIndex() < page) small->onClickNext();
    small->layout()->activate();
    std::vector<CustomButton*> controls = {small->fullWindowButton, small->preButton,
                                           small->nextButton};
    for (CustomButton* b : small->visibleButtons())
      if (b->alphaValue() > 0) controls.push_back(b);
    for (CustomButton* control : controls) {
      if (!control->isVisible()) continue;
      SCOPED_TRACE(::testing::Message() << "page " << page << ", " << control->title().toStdString()
                                        << " tag " << control->tag);
      EXPECT_TRUE(shape.contains(inWindow(control)));
      control->setFocus(Qt::TabFocusReason);
      ASSERT_EQ(ring->target(), control);
      ASSERT_TRUE(ring->isVisible());
      // The ring's line runs round its rectangle with the control's corner grown by its gap.
      const QRectF drawn = inWindow(ring);
      const double half = corvane::FocusRing::kWidth / 2.0;
      EXPECT_TRUE(
          shape.contains(rounded(drawn, control->cornerRadius() + corvane::FocusRing::kGap + half)))
          << drawn.x() << "," << drawn.y() << " " << drawn.width() << "x" << drawn.height();
    }
  }
  small->setParent(nullptr);
  QApplication::setActiveWindow(nullptr);
}
