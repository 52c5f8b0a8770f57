// The event-loop services under a bare X server: the wait that dispatches events, the message
// box, and the release of every window.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "platform/window/qt/application.h"
#include "platform/window/ui.h"
#include "window_support.h"

namespace dd::test {
namespace {

using C = Control;
using Clock = std::chrono::steady_clock;

TEST_F(LoadedWindow, WaitRunsAPendingClickAndReturnsOnlyAfterItsTime) {
    clickAt(C::优化配置按钮); // queued at the X server; nobody has read it yet
    const Clock::time_point start = Clock::now();
    waitProcessingEvents(100);
    const auto waited = Clock::now() - start;
    EXPECT_EQ(m_events.clicks, std::vector<Control>{C::优化配置按钮});
    EXPECT_GE(waited, std::chrono::milliseconds(100));
}

TEST_F(LoadedWindow, AWaitOfZeroOrLessReturnsWithoutDispatching) {
    auto* button = qobject_cast<QAbstractButton*>(controlWidget(C::优化配置按钮));
    ASSERT_NE(button, nullptr);
    for (const int ms : {0, -1, -100}) {
        m_events.clicks.clear();
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
        waitProcessingEvents(ms);
        EXPECT_TRUE(m_events.clicks.empty()) << ms;
        // The click was indeed pending: it runs at the next dispatch.
        EXPECT_TRUE(waitFor([&] { return !m_events.clicks.empty(); })) << ms;
    }
}

TEST_F(LoadedWindow, AQuitRequestDoesNotEndAWaitEarlyNorTheLoop) {
    // QCoreApplication::exit() ends every running event loop of the thread at once.
    Clock::duration waited{};
    bool quitDuringWait = false;
    bool releasedByTest = false;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(20, [&] {
            quitDuringWait = true;
            QCoreApplication::exit(3);
        });
        const Clock::time_point start = Clock::now();
        waitProcessingEvents(200);
        waited = Clock::now() - start;
        // The loop must go on after the quit, until the window is gone.
        QTimer::singleShot(50, [&] {
            releasedByTest = true;
            releaseWindows();
        });
    });
    m_host->runMessageLoop();
    EXPECT_TRUE(quitDuringWait);
    EXPECT_GE(waited, std::chrono::milliseconds(200));
    EXPECT_TRUE(releasedByTest) << "the loop ended before the window was gone";
    EXPECT_EQ(m_events.log, std::vector<std::string>{"created"});
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST_F(LoadedWindow, AWaitBlocksRatherThanSpins) {
    // A spinning wait burns about as much processor time as it waits; a blocking one next
    // to none. Half is far from both.
    const double before = cpuSeconds();
    waitProcessingEvents(600);
    EXPECT_LT(cpuSeconds() - before, 0.3);
}

TEST(MessageBox, ShowsTheIconButtonsAndTitleOfItsStyleAndReturnsThePressedButton) {
    qt::ensureApplication(); // for the timer that answers the box
    const struct {
        int style;
        QMessageBox::Icon icon;
        QList<QMessageBox::StandardButton> buttons;
        QMessageBox::StandardButton press; // NoButton: close it with Esc
        int result;
    } cases[] = {
        {16, QMessageBox::Critical, {QMessageBox::Ok}, QMessageBox::Ok, 1},
        {16, QMessageBox::Critical, {QMessageBox::Ok}, QMessageBox::NoButton, 1},
        {0, QMessageBox::NoIcon, {QMessageBox::Ok}, QMessageBox::Ok, 1},
        {32 | 4, QMessageBox::Question, {QMessageBox::Yes, QMessageBox::No}, QMessageBox::No, 7},
        {48 | 1,
         QMessageBox::Warning,
         {QMessageBox::Ok, QMessageBox::Cancel},
         QMessageBox::Cancel,
         2},
        {64, QMessageBox::Information, {QMessageBox::Ok}, QMessageBox::Ok, 1},
    };
    for (const auto& c : cases) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title, text;
        QList<QMessageBox::StandardButton> buttons;
        bool ownerless = false;
        Qt::WindowModality modality = Qt::NonModal;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) {
                return;
            }
            poll.stop();
            icon = box->icon();
            title = box->windowTitle();
            text = box->text();
            ownerless = box->parentWidget() == nullptr;
            modality = box->windowModality();
            for (QAbstractButton* button : box->buttons()) {
                buttons << box->standardButton(button);
            }
            if (c.press == QMessageBox::NoButton) {
                box->reject(); // what Esc and the close box do
            } else {
                box->button(c.press)->click();
            }
        });
        poll.start(20);
        const int result = showMessageBox("启动失败,请重新运行。", c.style, "提示:");
        EXPECT_EQ(result, c.result) << c.style;
        EXPECT_EQ(icon, c.icon) << c.style;
        EXPECT_EQ(title, QStringLiteral("提示:"));
        EXPECT_EQ(text, QStringLiteral("启动失败,请重新运行。"));
        std::sort(buttons.begin(), buttons.end());
        QList<QMessageBox::StandardButton> expected = c.buttons;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(buttons, expected) << c.style;
        EXPECT_TRUE(ownerless);
        EXPECT_EQ(modality, Qt::ApplicationModal);
    }
}

TEST_F(LoadedWindow, ReleaseWindowsDestroysTheWindowWithoutRaisingAnything) {
    const unsigned long id = windowId();
    releaseWindows();
    EXPECT_EQ(liveForm(), nullptr);
    EXPECT_EQ(window().title(), "");
    // Nothing reaches a handler any more, and the loop has nothing to run.
    requestClose(id);
    waitProcessingEvents(100);
    m_host->runMessageLoop();
    EXPECT_EQ(m_events.log, std::vector<std::string>{"created"});
}

TEST_F(LoadedWindow, ReleaseWindowsFromInsideAClickHandlerEndsEveryHandler) {
    m_events.onClicked = [](Control) { releaseWindows(); };
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { releaseWindows(); });
    watchdog.start(10000);
    // Both clicks in one go: the second comes after the release and must reach nobody.
    const QPoint first = screenPoint(controlWidget(C::优化配置按钮), 40, 13);
    const QPoint second = screenPoint(controlWidget(C::录音按钮), 40, 13);
    xdotool({QStringLiteral("mousemove"), QString::number(first.x()), QString::number(first.y()),
             QStringLiteral("click"), QStringLiteral("1"), QStringLiteral("mousemove"),
             QString::number(second.x()), QString::number(second.y()), QStringLiteral("click"),
             QStringLiteral("1")});
    m_host->runMessageLoop();
    waitProcessingEvents(100);
    EXPECT_EQ(m_events.log, (std::vector<std::string>{"created", "clicked"}));
    EXPECT_EQ(m_events.clicks, std::vector<Control>{C::优化配置按钮});
    EXPECT_EQ(liveForm(), nullptr);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(widget->isVisible());
    }
}

} // namespace
} // namespace dd::test
