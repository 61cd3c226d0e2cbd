// The Qt view's wiring with real key and mouse events: Ctrl+click adds one row and Shift+click a
// range, rows chosen with Ctrl+Down and Ctrl+Space stay chosen when Tab leaves the list and
// reaches 変換, which the keyboard presses and which converts them all; the desktop holds Escape
// from its press to its release, and takes a box away unanswered. Screen readers find the status
// as a notification and the type box's value.
#include "window_testkit.h"

#include "form/WindowTexts.h"
#include "window/QtPlatform.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace quellmark;
using namespace qmtest;

namespace {

class Keyboard : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        fs::create_directories(src());
        fs::create_directories(dir / "dst");
        for (const char* name : {"A.jww", "B.jww", "C.jww", "D.jww"}) WriteFile(src() / name, JwwWithMemo("x"));
    }
    fs::path src() const { return dir / "src"; }
    void ClickRow(int row, Qt::KeyboardModifiers keys) {
        QTableView* grid = form->StringGrid1;
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, keys,
                          grid->visualRect(grid->model()->index(row, 0)).center());
    }
};

}  // namespace

TEST_F(Keyboard, CtrlClickAddsOneRowAndShiftClickARange) {
    Start();
    List(src());
    ClickRow(0, {});
    ClickRow(3, Qt::ControlModifier);
    EXPECT_EQ(SelectedFiles(), QStringList({"A.jww", "D.jww"}));
    ClickRow(0, Qt::ControlModifier);  // and takes one away
    EXPECT_EQ(SelectedFiles(), QStringList({"D.jww"}));
    ClickRow(1, {});
    ClickRow(3, Qt::ShiftModifier);
    EXPECT_EQ(SelectedFiles(), QStringList({"B.jww", "C.jww", "D.jww"}));
}

TEST_F(Keyboard, TabLeavesTheListAndTheKeyboardAloneConverts) {
    TForm1& f = Start();
    List(src());
    platform.folders.push_back(Folder(dir / "dst"));
    f.Button3Click();
    platform.Reset();
    f.StringGrid1->setFocus();
    ASSERT_EQ(SelectedFiles(), QStringList({"A.jww"}));  // a listing selects its first file
    QTest::keyClick(f.StringGrid1, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(f.StringGrid1, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(f.StringGrid1, Qt::Key_Space, Qt::ControlModifier);
    ASSERT_EQ(SelectedFiles(), QStringList({"A.jww", "C.jww"}));
    QTest::keyClick(f.StringGrid1, Qt::Key_Tab);
    EXPECT_FALSE(f.StringGrid1->hasFocus());
    EXPECT_EQ(SelectedFiles(), QStringList({"A.jww", "C.jww"}));  // Tab moves the focus, not the selection
    // 変換 and 参照 answer Alt+C and Alt+B (a real keyboard's, tried under Xvfb: Qt Test's
    // offscreen keys do not reach a window's mnemonics reliably), and 変換 is reached by Tab.
    EXPECT_EQ(f.Button4->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));
    EXPECT_EQ(f.Button3->shortcut(), QKeySequence(Qt::ALT | Qt::Key_B));
    for (int i = 0; i < 8 && QApplication::focusWidget() != f.Button4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    ASSERT_EQ(QApplication::focusWidget(), f.Button4);
    QTest::keyClick(f.Button4, Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.Converting(); }));
    EXPECT_EQ(f.StatusText(), "変換作業を完了しました。（変換 2 件、スキップ 0 件、失敗 0 件）");
    EXPECT_EQ(platform.boxes.size(), 1u);  // the confirmation only
}

// Screen readers on AT-SPI say a notification in the status bar when it shows, and the type
// box's value from its description. (Qt's offscreen platform has no accessibility bridge, so
// the events themselves are tried under Xvfb with Orca.)
TEST_F(Keyboard, ScreenReadersFindTheStatusAsANotificationAndTheTypeBoxsValue) {
    TForm1& f = Start();
    List(src());
    QAccessibleInterface* status =
        QAccessible::queryAccessibleInterface(f.StatusBar1->findChild<QLabel*>(QStringLiteral("StatusText")));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->role(), QAccessible::Notification);
    EXPECT_EQ(status->text(QAccessible::Name), f.StatusText());
    f.MnuFileType2Click();
    EXPECT_EQ(f.ComboBox1->accessibleDescription(), "*.JWW");
}

// The desktop says whether Escape is held; a press is the form's input, not kept here for a
// later poll.
TEST(QtPlatform, EscapeIsHeldFromItsPressToItsRelease) {
    QtWindowPlatform platform;
    QWidget widget;
    widget.show();
    QTest::keyPress(&widget, Qt::Key_Escape);
    EXPECT_TRUE(platform.EscapeDown());
    QTest::keyRelease(&widget, Qt::Key_Escape);
    EXPECT_FALSE(platform.EscapeDown());
}

// The close question during a batch is taken away when the batch ends: the desktop's box ends
// as unanswered.
TEST(QtPlatform, ABoxIsTakenAwayAsUnanswered) {
    QtWindowPlatform desktop;
    QTimer::singleShot(50, [&desktop] { desktop.DismissBox(); });
    EXPECT_EQ(desktop.MessageBox({}, texts::kCloseDuringBatch, BoxKind::Confirmation, Buttons::YesNo), Answer::Closed);
}
