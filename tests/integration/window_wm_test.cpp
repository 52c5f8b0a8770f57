// The main window under a real window manager (openbox, started privately on the test's own X
// server): the frame's share of the outer size, stacking, dragging and the close box.
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include "platform/window/ui.h"
#include "window_support.h"

namespace dd::test {
namespace {

using C = Control;

class UnderWindowManager : public LoadedWindow {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        // Its own configuration and cache folders: nothing of the user's is read or written.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.path());
        m_windowManager.setProcessEnvironment(environment);
        // Goes with the test process even when that dies before TearDown.
        m_windowManager.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        // --startup runs once openbox has finished starting and manages new windows; before
        // that, a window mapped at the wrong moment is never managed.
        const QString ready = m_home.filePath(QStringLiteral("ready"));
        m_windowManager.start(QStringLiteral("openbox"),
                              {QStringLiteral("--sm-disable"), QStringLiteral("--startup"),
                               QStringLiteral("touch ") + ready});
        ASSERT_TRUE(m_windowManager.waitForStarted()) << "openbox could not be started";
        ASSERT_TRUE(waitFor([&] { return QFile::exists(ready); }, 10000))
            << "openbox did not start: " << m_windowManager.readAllStandardError().toStdString();
        LoadedWindow::SetUp();
    }

    void TearDown() override {
        LoadedWindow::TearDown();
        m_windowManager.terminate();
        m_windowManager.waitForFinished();
    }

    // Client windows from bottom to top, as the window manager stacks them.
    static std::vector<unsigned long> stacking() {
        const QString line =
            runProgram(QStringLiteral("xprop"),
                       {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
        std::vector<unsigned long> ids;
        const QString values = line.section(QLatin1Char('#'), 1);
        for (const QString& id : values.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            ids.push_back(id.trimmed().toULong(nullptr, 16));
        }
        return ids;
    }

    static bool isAbove(unsigned long upper, unsigned long lower) {
        const std::vector<unsigned long> order = stacking();
        const auto u = std::find(order.begin(), order.end(), upper);
        const auto l = std::find(order.begin(), order.end(), lower);
        return u != order.end() && l != order.end() && u > l;
    }

    QTemporaryDir m_home;
    QProcess m_windowManager;
};

TEST_F(UnderWindowManager, TheFrameComesOutOfTheOuterSizeAndTheFrameIsCentred) {
    EXPECT_TRUE(waitFor([&] { return m_form->frameGeometry() == QRect(506, 466, 268, 92); }))
        << "frame at " << m_form->frameGeometry().x() << "," << m_form->frameGeometry().y() << " "
        << m_form->frameGeometry().width() << "x" << m_form->frameGeometry().height();
    const QMargins frame = m_form->windowHandle()->frameMargins();
    ASSERT_GT(frame.top(), 0) << "openbox draws a title bar";
    EXPECT_EQ(m_form->size(),
              QSize(268 - frame.left() - frame.right(), 92 - frame.top() - frame.bottom()));
    EXPECT_EQ(controlWidget(C::录音按钮)->geometry(), QRect(3, 5, 80, 26));
    EXPECT_EQ(controlWidget(C::标签1)->geometry(), QRect(55, 36, 144, 24));
}

TEST_F(UnderWindowManager, OffersMoveMinimizeAndCloseButNeitherResizeNorMaximize) {
    const QString actions = xprop(windowId(), QStringLiteral("_NET_WM_ALLOWED_ACTIONS"));
    for (const char* allowed :
         {"_NET_WM_ACTION_MOVE", "_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_CLOSE"}) {
        EXPECT_TRUE(actions.contains(QLatin1String(allowed)))
            << allowed << " in " << actions.toStdString();
    }
    for (const char* refused : {"_NET_WM_ACTION_RESIZE", "_NET_WM_ACTION_MAXIMIZE"}) {
        EXPECT_FALSE(actions.contains(QLatin1String(refused)))
            << refused << " in " << actions.toStdString();
    }
}

TEST_F(UnderWindowManager, AlwaysOnTopOffLetsOtherWindowsCoverItAndOnPutsItBackOnTop) {
    QWidget other;
    other.setWindowTitle(QStringLiteral("other"));
    other.setGeometry(400, 400, 500, 300); // overlaps the main window
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    const unsigned long form = windowId();
    const unsigned long otherId = static_cast<unsigned long>(other.winId());
    const QRect place = m_form->frameGeometry();

    EXPECT_TRUE(waitFor([&] { return isAbove(form, otherId); })) << "on top while active elsewhere";

    window().setAlwaysOnTop(false);
    EXPECT_TRUE(waitFor([&] {
        return !xprop(form, QStringLiteral("_NET_WM_STATE")).contains("_NET_WM_STATE_ABOVE");
    }));
    other.raise();
    EXPECT_TRUE(waitFor([&] { return isAbove(otherId, form); })) << "the other window covers it";

    window().setAlwaysOnTop(true);
    EXPECT_TRUE(waitFor([&] {
        return xprop(form, QStringLiteral("_NET_WM_STATE")).contains("_NET_WM_STATE_ABOVE");
    }));
    EXPECT_TRUE(waitFor([&] { return isAbove(form, otherId); })) << "back on top";
    // Not activated, moved or resized by either change.
    EXPECT_EQ(QApplication::activeWindow(), &other);
    EXPECT_EQ(m_form->frameGeometry(), place);
}

TEST_F(UnderWindowManager, DraggingTheLabelMovesTheWindow) {
    ASSERT_TRUE(waitFor([&] { return m_form->frameGeometry().topLeft() == QPoint(506, 466); }));
    QWidget* label = controlWidget(C::标签1);
    const QPoint start = screenPoint(label, 20, 12);
    xdotool({QStringLiteral("mousemove"), QString::number(start.x()), QString::number(start.y()),
             QStringLiteral("mousedown"), QStringLiteral("1")});
    for (int step = 1; step <= 5; ++step) {
        waitFor([] { return false; }, 30); // let the window manager follow each step
        xdotool({QStringLiteral("mousemove"), QString::number(start.x() - 12 * step),
                 QString::number(start.y() + 8 * step)});
    }
    waitFor([] { return false; }, 30);
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    EXPECT_TRUE(waitFor([&] { return m_form->frameGeometry().topLeft() == QPoint(446, 506); }))
        << "frame at " << m_form->frameGeometry().x() << "," << m_form->frameGeometry().y();
    EXPECT_TRUE(m_events.clicks.empty());
}

TEST_F(UnderWindowManager, TheWindowManagersCloseEndsTheLoopAfterWillBeDestroyed) {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    bool watchdogFired = false;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        watchdogFired = true;
        releaseWindows();
    });
    watchdog.start(10000);
    xdotool({QStringLiteral("key"), QStringLiteral("alt+F4")});
    m_host->runMessageLoop();
    EXPECT_FALSE(watchdogFired);
    EXPECT_EQ(m_events.log, (std::vector<std::string>{"created", "willBeDestroyed"}));
    EXPECT_FALSE(m_events.windowVisibleAtWillBeDestroyed);
    EXPECT_EQ(m_events.captionAtWillBeDestroyed, "录音");
}

} // namespace
} // namespace dd::test
