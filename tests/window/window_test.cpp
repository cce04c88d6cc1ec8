// The main window through the real dialog on Qt's offscreen platform, against simulated
// devices: what it shows, Start and its checks, device arrival and removal, closing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/vantor_app.h"
#include "app/window/control_ids.h"
#include "app/window/qt_user_notices.h"
#include "config/settings.h"
#include "flows/last_result.h"
#include "image/memory_type.h"
#include "window_rig.h"

namespace vantor::test {
namespace {

using window::ControlName;

TEST(MainWindow, OpensWithItsControlsAndShowsTheDefaultDevice) {
  WindowRig rig;
  rig.AddListedDevice("first", 1, 0x0100);
  rig.AddListedDevice("second", 2, 0x0200);
  const int exitCode = rig.Run([&](CQuillon_KvproxyDlg& dialog) {
    Controls c(dialog);
    ASSERT_TRUE(WaitUntil([&] { return dialog.state().devicePresent == 1; }));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("USB Audio FW Update Tool 2.61.53"));
    // Both accepted devices are listed; the first one is selected and shown.
    ASSERT_TRUE(WaitUntil([&] { return c.deviceList->count() == 2; }));
    EXPECT_EQ(c.deviceList->itemText(0), QStringLiteral("VID_3A4B&PID_0310&REV_0100"));
    EXPECT_EQ(c.deviceList->itemText(1), QStringLiteral("VID_3A4B&PID_0310&REV_0200"));
    EXPECT_EQ(c.deviceList->currentIndex(), 0);
    // A blank flash device runs its ROM code: the plain version format.
    EXPECT_EQ(c.version->text(), QStringLiteral("Current FW: 0x01-0001-0001"));
    EXPECT_EQ(c.serial->text(), QStringLiteral("KV0310-000001"));
    EXPECT_EQ(c.status->text(), QStringLiteral("USB Audio Connected"));
    EXPECT_TRUE(c.imageText->text().startsWith(QStringLiteral("Update FW version:")))
        << c.imageText->text().toStdString();
    EXPECT_EQ(c.result->text(), QStringLiteral("N/A"));
    EXPECT_NE(c.result->styleSheet().indexOf(QStringLiteral("255, 0, 0")), -1);
    EXPECT_TRUE(c.result->font().bold());
    EXPECT_EQ(c.result->font().pixelSize(), 24);
    EXPECT_TRUE(c.start->isEnabled());
    EXPECT_EQ(dialog.findChild<QLabel*>(ControlName(window::kIdcAudioIcLabel))->text(),
              QStringLiteral("Audio IC:"));

    // Visibility: hidden for good, and the loop test's controls without "Loop Test".
    for (int id : {window::kIdcBrowser, window::kIdcGetVersion, window::kIdcIcType,
                   window::kIdcFwVersionLabel, window::kIdcPassword, window::kIdcLoopTotal,
                   window::kIdcLoopCount, window::kIdcLoopLeft}) {
      QWidget* w = dialog.findChild<QWidget*>(ControlName(id));
      ASSERT_NE(w, nullptr) << id;
      EXPECT_FALSE(w->isVisible()) << id;
    }
    for (int id : {window::kIdcImageText, window::kIdcStart, window::kIdcVersion,
                   window::kIdcResult, window::kIdcSerial, window::kIdcProgress, window::kIdcStatus,
                   window::kIdcDeviceList, window::kIdcStatusLabel}) {
      EXPECT_TRUE(dialog.findChild<QWidget*>(ControlName(id))->isVisible()) << id;
    }
    EXPECT_TRUE(dialog.findChild<QLabel*>(window::kCurrentSnLabelName)->isVisible());
    // Layout: the status row moved up into the hidden row, the version took the Get
    // Version button's place, the window is 40 pixels shorter than its template.
    EXPECT_EQ(c.status->y(), 104);
    EXPECT_EQ(c.version->geometry(), QRect(18, 72, 400, 20));
    EXPECT_EQ(dialog.height(), 210);

    // Choosing the other device shows its version and serial.
    QTest::mouseClick(c.deviceList, Qt::LeftButton);
    c.deviceList->setCurrentIndex(1);
    Q_EMIT c.deviceList->activated(1);
    ASSERT_TRUE(WaitUntil([&] { return c.serial->text() == QStringLiteral("KV0310-000002"); }));
    EXPECT_EQ(c.version->text(), QStringLiteral("Current FW: 0x01-0001-0001"));
    EXPECT_EQ(dialog.currentDevText, L"VID_3A4B&PID_0310&REV_0200");
    EXPECT_TRUE(WaitUntil([&] { return dialog.state().runActive == 0 && c.start->isEnabled(); }));
  });
  EXPECT_EQ(exitCode, 0) << "a session that ended on device information";
  EXPECT_TRUE(rig.Traced("CDevFlow::DEV_GetDefaultDeviceForAllInOne()"));
  EXPECT_TRUE(rig.Traced("CDevFlow::DEV_GetDeviceListAfterReset()"));
}

TEST(MainWindow, LoopTestControlsShowWithTheSetting) {
  WindowRig rig;
  rig.Settings("AutoRun=0\nLoop Test=1\n");
  rig.sim.AddDevice("flash-old");
  rig.Run([&](CQuillon_KvproxyDlg& dialog) {
    Controls c(dialog);
    EXPECT_TRUE(dialog.loopTest());
    EXPECT_TRUE(c.loopCount->isVisible());
    EXPECT_TRUE(c.loopLeft->isVisible());
    EXPECT_EQ(c.loopCount->text(), QStringLiteral("1"));
    EXPECT_EQ(c.loopLeft->text(), QStringLiteral("Left:"));
  });
}

TEST(MainWindow, WithoutADeviceStartDoesNothing) {
  WindowRig rig;
  rig.Settings("AutoRun=0\nSaveResultToFile=1\nLogType=1\n");
  rig.Run([&](CQuillon_KvproxyDlg& dialog) {
    Controls c(dialog);
    ASSERT_TRUE(WaitUntil([&] { return c.status->text() == QStringLiteral("No USB Audio"); }));
    EXPECT_EQ(c.version->text(), QStringLiteral("Current FW: N/A"));
    EXPECT_EQ(c.serial->text(), QString());
    EXPECT_FALSE(c.start->isEnabled());
    QTest::mouseClick(c.start, Qt::LeftButton);
    QTest::keyClick(&dialog, Qt::Key_Return);
    QTest::qWait(100);
    EXPECT_EQ(dialog.state().runActive, 0);
    EXPECT_EQ(c.result->text(), QStringLiteral("N/A"));
  });
  EXPECT_FALSE(rig.Traced("Start Download"));
  EXPECT_FALSE(std::filesystem::exists(rig.dir.path() / "Result.txt"));
  EXPECT_FALSE(std::filesystem::exists(rig.dir.path() / "burn_result.txt"));
}

TEST(MainWindow, SameFirmwareVersionStartsNothing) {
  WindowRig rig;
  sim::SimDevice& device = rig.sim.AddDevice("flash-new");
  rig.LoadBuiltInImageInto(device, false);
  rig.Settings("AutoRun=0\nSaveResultToFile=1\n");
  rig.Run([&](CQuillon_KvproxyDlg& dialog) {
    Controls c(dialog);
    ASSERT_TRUE(WaitUntil([&] { return c.start->isEnabled(); }));
    QTest::mouseClick(c.start, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !rig.notices.Shown().empty(); }));
    QTest::qWait(100);
    EXPECT_EQ(dialog.state().runActive, 0);
    EXPECT_TRUE(c.start->isEnabled());
    EXPECT_EQ(c.result->text(), QStringLiteral("N/A"));
  });
  const std::vector<ShownBox> expected = {
      {ShownBox::Kind::kMessage, "Same FW version!", "Warning!!"}};
  EXPECT_EQ(rig.notices.Shown(), expected);
  EXPECT_FALSE(rig.Traced("Start Download"));
  EXPECT_FALSE(std::filesystem::exists(rig.dir.path() / "Result.txt")) << "no run began";
}

TEST(MainWindow, OlderImageAsksAndNoStartsNothing) {
  for (bool yes : {false, true}) {
    SCOPED_TRACE(yes ? "Yes" : "No");
    WindowRig rig;
    sim::SimDevice& device = rig.sim.AddDevice("flash-new");
    rig.LoadBuiltInImageInto(device, true);
    rig.notices.AnswerYesNo(yes);
    rig.Run([&](CQuillon_KvproxyDlg& dialog) {
      Controls c(dialog);
      ASSERT_TRUE(WaitUntil([&] { return c.start->isEnabled(); }));
      QTest::mouseClick(c.start, Qt::LeftButton);
      ASSERT_TRUE(WaitUntil([&] { return !rig.notices.Shown().empty(); }));
      if (yes) {
        ASSERT_TRUE(WaitUntil([&] { return !c.result->text().startsWith(QStringLiteral("N")); }));
      } else {
        QTest::qWait(100);
      }
    });
    const std::vector<ShownBox> expected = {
        {ShownBox::Kind::kYesNo, "The updated FW version is older than the current one, continue?",
         "Warning!!"}};
    EXPECT_EQ(rig.notices.Shown(), expected);
    EXPECT_EQ(rig.Traced("Start Download"), yes);
  }
}

TEST(MainWindow, FailingRunShowsFailWithItsTextAndWritesTheResultFiles) {
  WindowRig rig;
  rig.Settings("AutoRun=0\nSaveResultToFile=2\nLogType=1\n");
  sim::SimDevice& device = rig.AddListedDevice("dev", 1, 0x0100);
  device.faults().stayBusy = true;  // the flash's status register never leaves busy
  const int exitCode = rig.Run([&](CQuillon_KvproxyDlg& dialog) {
    Controls c(dialog);
    ASSERT_TRUE(WaitUntil([&] { return c.start->isEnabled(); }));
    QTest::mouseClick(c.start, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return c.result->text() == QStringLiteral("FAIL"); }));
    EXPECT_NE(c.result->styleSheet().indexOf(QStringLiteral("255, 0, 0")), -1);
    // After the relisting the device is shown again with the failure's text, and a new
    // run may start.
    ASSERT_TRUE(WaitUntil([&] {
      return !dialog.state().lastErrorText.empty() &&
             c.status->text().toStdWString() == dialog.state().lastErrorText;
    }));
    ASSERT_TRUE(WaitUntil([&] { return c.start->isEnabled(); }));
    EXPECT_EQ(dialog.state().lastOutcome, 2);
    EXPECT_EQ(c.result->text(), QStringLiteral("FAIL"));
    EXPECT_EQ(c.progress->value(), 0);
  });
  EXPECT_EQ(exitCode, 0) << "the session ended on device information";
  EXPECT_EQ(rig.File("Result.txt"),
            "TestResult = fail, VID is 0x3a4b, PID is 0x0310, Rev is 0x0100\r\n");
  const std::string table = rig.File("burn_result.txt");
  EXPECT_NE(table.find("KV0310-000001,             Fail,    "), std::string::npos) << table;
}

// An OTP device that was programmed before (a code block in its table), with the
// second-burn password set.
void ProgrammedOtpDevice(WindowRig& rig) {
  SetMemoryType(MemoryType::kOtp);
  sim::SimDevice& device = rig.sim.AddDevice("otp");
  std::uint8_t* otp = device.memory();
  const std::uint8_t entry[5] = {0x00, 0x00, 0x10, 0x00, 0x55};  // 4 KiB from 0
  std::copy(entry, entry + 5, otp + 0x3F70);
  rig.Settings("AutoRun=0\nOTP Password=Open Sesame\n");
}

TEST(MainWindow, SecondBurnPasswordRightWrongCancelled) {
  struct Case {
    const char* what;
    std::optional<std::string> typed;
    const char* box;  // null: none, the run starts
  } cases[] = {
      {"right", std::string("Open Sesame"), nullptr},
      {"wrong letter case", std::string("open sesame"), "密碼輸入錯誤.(請注意大小字母會有差異)"},
      {"cancelled", std::nullopt, "請輸入正確密碼才可進行二次烧录"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    WindowRig rig;
    ProgrammedOtpDevice(rig);
    rig.notices.AnswerText(k.typed);
    rig.Run([&](CQuillon_KvproxyDlg& dialog) {
      Controls c(dialog);
      ASSERT_TRUE(WaitUntil([&] { return c.start->isEnabled(); }));
      QTest::mouseClick(c.start, Qt::LeftButton);
      if (k.box != nullptr) {
        ASSERT_TRUE(WaitUntil([&] { return rig.notices.Shown().size() == 2; }));
        QTest::qWait(100);
        EXPECT_EQ(dialog.state().runActive, 0) << "back to idle";
        EXPECT_TRUE(c.start->isEnabled());
      } else {
        ASSERT_TRUE(WaitUntil([&] { return rig.Traced("Start Download"); }));
      }
    });
    std::vector<ShownBox> expected = {{ShownBox::Kind::kText, "", "请輸入密碼才能進行二次燒錄"}};
    if (k.box != nullptr) expected.push_back({ShownBox::Kind::kMessage, k.box, ""});
    EXPECT_EQ(rig.notices.Shown(), expected);
    EXPECT_EQ(rig.Traced("Start Download"), k.box == nullptr)
        << "a wrong password programs nothing";
  }
}

// Runs `act` on the next modal dialog that opens (polled on the window's thread, as a
// user would see it appear).
void OnNextModal(std::function<void(QWidget*)> act, QWidget* previous = nullptr) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, act, previous] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == previous) return;
    timer->stop();
    timer->deleteLater();
    act(modal);
  });
  timer->start(10);
}

TEST(MainWindow, QtPasswordBoxShowsWhatIsTypedAndTheWrongPasswordBox) {
  for (bool right : {false, true}) {
    SCOPED_TRACE(right ? "right" : "wrong");
    WindowRig rig;
    ProgrammedOtpDevice(rig);
    window::QtUserNotices boxes(QStringLiteral("vantorfw"));
    QString caption, echo, message;
    rig.Run([&](CQuillon_KvproxyDlg& dialog) {
      Controls c(dialog);
      ASSERT_TRUE(WaitUntil([&] { return c.start->isEnabled(); }));
      OnNextModal([&](QWidget* box) {
        EXPECT_EQ(box->objectName(), QStringLiteral("dlg3031"));
        caption = box->windowTitle();
        auto* edit = box->findChild<QLineEdit*>(QStringLiteral("ctl1137"));
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), QString()) << "starts empty";
        QTest::keyClicks(edit, right ? QStringLiteral("Open Sesame") : QStringLiteral("Open"));
        echo = edit->displayText();
        if (!right) {
          OnNextModal(
              [&](QWidget* shown) {
                auto* messageBox = qobject_cast<QMessageBox*>(shown);
                ASSERT_NE(messageBox, nullptr);
                message = messageBox->text();
                messageBox->button(QMessageBox::Ok)->click();
              },
              box);
        }
        box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
      });
      QTest::mouseClick(c.start, Qt::LeftButton);
      if (right) {
        ASSERT_TRUE(WaitUntil([&] { return rig.Traced("Start Download"); }));
      } else {
        ASSERT_TRUE(WaitUntil([&] { return !message.isEmpty(); }));
      }
    });
    EXPECT_EQ(caption, QString::fromUtf8("请輸入密碼才能進行二次燒錄"));
    EXPECT_EQ(echo, right ? QStringLiteral("Open Sesame") : QStringLiteral("Open"));
    EXPECT_EQ(message,
              right ? QString() : QString::fromUtf8("密碼輸入錯誤.(請注意大小字母會有差異)"));
    EXPECT_EQ(rig.Traced("Start Download"), right);
    EXPECT_TRUE(rig.notices.Shown().empty()) << "the Qt boxes answered";
  }
}

TEST(MainWindow, AutoRunOneStartsOnceWhenAnAcceptedDeviceArrives) {
  WindowRig rig;
  rig.Settings("AutoRun=1\nAutoRunDelay=3600000\nCheckVIDPID_INI=1\n");
  rig.AddListedDevice("dev", 1, 0x0100);
  rig.sim.bus().SetAttached("dev", false);
  rig.Run([&](CQuillon_KvproxyDlg& dialog) {
    Controls c(dialog);
    ASSERT_TRUE(WaitUntil([&] { return c.status->text() == QStringLiteral("No USB Audio"); }));
    EXPECT_FALSE(rig.Traced("Start Download"));
    const std::uint64_t plugged = rig.sim.clock().NowMs();
    rig.sim.bus().SetAttached("dev", true);
    ASSERT_TRUE(WaitUntil([&] { return rig.Traced("Start Download"); }));
    // The automatic start waited "AutoRunDelay" (an hour of the virtual clock).
    EXPECT_GE(rig.sim.clock().NowMs() - plugged, 3600000u);
    ASSERT_TRUE(WaitUntil([&] { return dialog.state().runActive == 0 && c.start->isEnabled(); }));
    EXPECT_EQ(dialog.state().autoRunArmed, 0);
    // Later arrivals start nothing.
    rig.sim.bus().SetAttached("dev", false);
    ASSERT_TRUE(WaitUntil([&] {
      return c.status->text() == QStringLiteral("No USB Audio") ||
             dialog.state().devicePresent == 0;
    }));
    rig.sim.bus().SetAttached("dev", true);
    ASSERT_TRUE(WaitUntil([&] { return rig.CountTraced("Condition4") == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return dialog.state().devicePresent == 1; }));
    QTest::qWait(200);
  });
  EXPECT_EQ(rig.CountLines("Start Download"), 1u);
}

TEST(MainWindow, UnpluggingTheOpenDeviceWhileIdleListsTwice) {
  WindowRig rig;
  rig.AddListedDevice("programmed", 1, 0x0100);
  rig.AddListedDevice("other", 2, 0x0100);
  rig.Run([&](CQuillon_KvproxyDlg& dialog) {
    Controls c(dialog);
    ASSERT_TRUE(WaitUntil([&] { return c.start->isEnabled(); }));
    // After the run the device stays open until the worker's close job, which is held at
    // its first proxy call: the window is idle with the device open.
    rig.gate.Arm([&](std::uint32_t code, std::uint64_t) {
      return code == platform::kIoctlProxyDetach && rig.Traced("End Download");
    });
    QTest::mouseClick(c.start, Qt::LeftButton);
    ASSERT_TRUE(rig.gate.WaitHeld());
    ASSERT_TRUE(WaitUntil([&] { return dialog.state().runActive == 0; }));
    rig.trace.Clear();
    rig.sim.bus().SetAttached("programmed", false);
    ASSERT_TRUE(WaitUntil([&] { return rig.Traced("Condition3"); }));
    rig.gate.Release();
    // The listing the run's end asked for, and the two of the removal.
    ASSERT_TRUE(WaitUntil(
        [&] { return rig.CountTraced("CDevFlow::DEV_GetDeviceListForAllInOne()") == 3; }));
    QTest::qWait(200);
    EXPECT_EQ(rig.CountTraced("CDevFlow::DEV_GetDeviceListForAllInOne()"), 3u);
    EXPECT_EQ(rig.CountTraced("Condition2"), 1u);
    EXPECT_EQ(rig.CountTraced("Condition3"), 1u);
    EXPECT_EQ(rig.CountTraced("Condition1"), 0u);
    EXPECT_TRUE(rig.Traced("remove info is \\\\?\\usb#vid_3a4b&pid_0310&mi_00#"))
        << rig.trace.All();
    // Only the other device is left, and it is selected.
    ASSERT_TRUE(WaitUntil([&] { return c.serial->text() == QStringLiteral("KV0310-000002"); }));
    EXPECT_EQ(c.deviceList->count(), 1);

    // Plugged in again: Condition4 and a listing.
    rig.trace.Clear();
    rig.sim.bus().SetAttached("programmed", true);
    ASSERT_TRUE(WaitUntil([&] { return c.deviceList->count() == 2; }));
    EXPECT_TRUE(rig.Traced("DeviceChange - Device arrival"));
    EXPECT_EQ(rig.CountTraced("Condition4"), 1u);
    EXPECT_EQ(c.status->text(), QStringLiteral("USB Audio Connected"));

    // A device that is not open leaving: Condition3 alone, one listing.
    rig.trace.Clear();
    rig.sim.bus().SetAttached("programmed", false);
    ASSERT_TRUE(WaitUntil([&] { return c.deviceList->count() == 1; }));
    QTest::qWait(200);
    EXPECT_EQ(rig.CountTraced("Condition3"), 1u);
    EXPECT_EQ(rig.CountTraced("Condition2"), 0u);
    EXPECT_EQ(rig.CountTraced("CDevFlow::DEV_GetDeviceListForAllInOne()"), 1u);
  });
}

}  // namespace
}  // namespace vantor::test
