#include "window_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPoint>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "platform/window/qt/form.h"
#include "platform/window/ui.h"

namespace dd::test {

void RecordingEvents::created() {
    log.emplace_back("created");
    QWidget* form = liveForm();
    windowVisibleAtCreated = form && form->isVisible();
    if (window) {
        for (Control list :
             {Control::线路数组合框, Control::采样率组合框, Control::采样大小组合框}) {
            selectionsAtCreated.push_back(window->selectedItem(list));
        }
    }
    if (onCreated) {
        onCreated();
    }
}

void RecordingEvents::willBeDestroyed() {
    log.emplace_back("willBeDestroyed");
    QWidget* form = liveForm();
    windowVisibleAtWillBeDestroyed = form && form->isVisible();
    if (window) {
        captionAtWillBeDestroyed = window->caption(Control::录音按钮);
    }
    if (onWillBeDestroyed) {
        onWillBeDestroyed();
    }
}

void RecordingEvents::clicked(Control button) {
    log.emplace_back("clicked");
    clicks.push_back(button);
    if (onClicked) {
        onClicked(button);
    }
}

QWidget* liveForm() {
    const auto forms = qt::Form::liveForms();
    return forms.empty() ? nullptr : forms.front();
}

QWidget* controlWidget(Control id) {
    const auto forms = qt::Form::liveForms();
    return forms.empty() ? nullptr : forms.front()->control(id);
}

bool waitFor(const std::function<bool()>& predicate, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!predicate()) {
        if (timer.elapsed() > timeoutMs) {
            return predicate();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

QString runProgram(const QString& program, const QStringList& arguments) {
    // Blocking, with no event dispatched meanwhile: what the program makes the X server send
    // us stays pending until the test dispatches it.
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(10000);
    EXPECT_TRUE(finished) << program.toStdString() << " did not finish";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0)
        << program.toStdString() << ": " << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString xprop(unsigned long window, const QString& property) {
    return runProgram(QStringLiteral("xprop"),
                      {QStringLiteral("-id"), QString::number(window), property});
}

void xdotool(const QStringList& arguments) {
    runProgram(QStringLiteral("xdotool"), arguments);
}

QPoint screenPoint(QWidget* widget, int x, int y) {
    return widget->mapToGlobal(QPoint(x, y));
}

void LoadedWindow::SetUp() {
    m_host = makeWindowHost();
    m_events.window = &m_host->window();
    ASSERT_TRUE(m_host->load(mainWindowDefinition(), m_events));
    m_form = liveForm();
    ASSERT_NE(m_form, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form));
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form));
}

void LoadedWindow::TearDown() {
    releaseWindows();
}

void LoadedWindow::clickAt(Control id) {
    QWidget* widget = controlWidget(id);
    ASSERT_NE(widget, nullptr);
    const QPoint point = screenPoint(widget, widget->width() / 2, widget->height() / 2);
    xdotool({QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y()),
             QStringLiteral("click"), QStringLiteral("1")});
}

} // namespace dd::test
