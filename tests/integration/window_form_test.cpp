// The main window under a bare X server (no window manager, so no frame): its place, size,
// flags, controls, keys, clicks, dragging, property access and close.
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "platform/window/ui.h"
#include "window_support.h"

namespace dd::test {
namespace {

using C = Control;

// Hex words of an xprop line such as "_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = 0x3, 0x24, 0x2a, 0x0".
std::vector<unsigned long> hexWords(const QString& line) {
    std::vector<unsigned long> words;
    const QString values = line.section(QLatin1Char('='), 1);
    for (const QString& word : values.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        words.push_back(word.trimmed().toULong(nullptr, 16));
    }
    return words;
}

TEST_F(LoadedWindow, ComesUpCentredAtItsOuterSizeAndCannotBeResized) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_EQ(screen.size(), QSize(1280, 1024));
    // (1280 - 268) / 2 = 506, (1024 - 92) / 2 = 466; no frame here, so client = outer.
    EXPECT_EQ(m_form->frameGeometry(), QRect(506, 466, 268, 92));
    EXPECT_EQ(m_form->geometry(), QRect(506, 466, 268, 92));
    EXPECT_EQ(m_form->minimumSize(), QSize(268, 92));
    EXPECT_EQ(m_form->maximumSize(), QSize(268, 92));

    // What the X server and a window manager see.
    const QString geometry =
        runProgram(QStringLiteral("xdotool"),
                   {QStringLiteral("getwindowgeometry"), QString::number(windowId())});
    EXPECT_TRUE(geometry.contains(QStringLiteral("Position: 506,466"))) << geometry.toStdString();
    EXPECT_TRUE(geometry.contains(QStringLiteral("Geometry: 268x92"))) << geometry.toStdString();
    const QString hints = xprop(windowId(), QStringLiteral("WM_NORMAL_HINTS"));
    EXPECT_TRUE(hints.contains(QStringLiteral("minimum size: 268 by 92"))) << hints.toStdString();
    EXPECT_TRUE(hints.contains(QStringLiteral("maximum size: 268 by 92"))) << hints.toStdString();
}

TEST_F(LoadedWindow, PlacesEachControlAtItsPlaceAndSize) {
    const struct {
        Control id;
        QRect place;
    } cases[] = {
        {C::录音按钮, {3, 5, 80, 26}},          {C::优化配置按钮, {91, 5, 80, 26}},
        {C::回放按钮, {179, 5, 80, 26}},        {C::标签1, {55, 36, 144, 24}},
        {C::线路数组合框, {64, 9, 100, 20}},    {C::采样率组合框, {64, 34, 100, 20}},
        {C::采样大小组合框, {64, 59, 100, 20}},
    };
    for (const auto& c : cases) {
        QWidget* widget = controlWidget(c.id);
        ASSERT_NE(widget, nullptr) << static_cast<int>(c.id);
        EXPECT_EQ(widget->geometry(), c.place) << static_cast<int>(c.id);
        EXPECT_EQ(widget->parentWidget(), m_form) << static_cast<int>(c.id);
    }
    EXPECT_EQ(controlWidget(C::对话框), nullptr) << "the file dialog is never a widget";
}

TEST_F(LoadedWindow, HasMinimizeAndCloseOnlyStaysOnTopAndIsAnOrdinaryWindow) {
    const Qt::WindowFlags flags = m_form->windowFlags();
    EXPECT_EQ(m_form->windowType(), Qt::Window) << "a tool or dialog would lose its taskbar entry";
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window().alwaysOnTop());

    const QString state = xprop(windowId(), QStringLiteral("_NET_WM_STATE"));
    EXPECT_TRUE(state.contains(QStringLiteral("_NET_WM_STATE_ABOVE"))) << state.toStdString();
    EXPECT_FALSE(state.contains(QStringLiteral("SKIP_TASKBAR"))) << state.toStdString();

    // flags, functions, decorations: no maximize function or button. (Resizing is ruled out
    // by the size hints above; the window manager tests check that it is not offered.)
    const QString motifLine = xprop(windowId(), QStringLiteral("_MOTIF_WM_HINTS"));
    const std::vector<unsigned long> motif = hexWords(motifLine);
    ASSERT_GE(motif.size(), 3u) << motifLine.toStdString();
    constexpr unsigned long kFunctionMinimize = 0x8, kFunctionMaximize = 0x10,
                            kFunctionClose = 0x20;
    constexpr unsigned long kDecorationMinimize = 0x20, kDecorationMaximize = 0x40;
    EXPECT_EQ(motif[1] & kFunctionMaximize, 0u) << motifLine.toStdString();
    EXPECT_EQ(motif[1] & (kFunctionMinimize | kFunctionClose), kFunctionMinimize | kFunctionClose);
    EXPECT_EQ(motif[2] & kDecorationMaximize, 0u);
    EXPECT_NE(motif[2] & kDecorationMinimize, 0u);
}

TEST_F(LoadedWindow, ShowsItsControlsWithTheirInitialCaptionsAndStates) {
    EXPECT_EQ(window().title(), "咚咚鸟录音工具");
    EXPECT_TRUE(xprop(windowId(), QStringLiteral("_NET_WM_NAME"))
                    .contains(QStringLiteral("咚咚鸟录音工具")));
    const struct {
        Control id;
        std::string caption;
        bool visible;
        bool disabled;
    } cases[] = {
        {C::录音按钮, "录音", true, false},    {C::优化配置按钮, "停止回放", true, false},
        {C::回放按钮, "回放录音", true, true}, {C::标签1, "dongdong.example", true, false},
        {C::线路数组合框, "", false, false},   {C::采样率组合框, "", false, false},
        {C::采样大小组合框, "", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(window().caption(c.id), c.caption) << static_cast<int>(c.id);
        EXPECT_EQ(controlWidget(c.id)->isVisible(), c.visible) << static_cast<int>(c.id);
        EXPECT_EQ(window().disabled(c.id), c.disabled) << static_cast<int>(c.id);
    }
    auto* record = qobject_cast<QPushButton*>(controlWidget(C::录音按钮));
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(record->isDefault());
    EXPECT_EQ(window().fileName(), "");
}

TEST_F(LoadedWindow, CreatedRanBeforeShowWithTheFirstItemOfEachListSelected) {
    EXPECT_EQ(m_events.log, std::vector<std::string>{"created"});
    EXPECT_FALSE(m_events.windowVisibleAtCreated);
    EXPECT_EQ(m_events.selectionsAtCreated, (std::vector<int>{0, 0, 0}));

    const struct {
        Control id;
        QStringList items;
    } cases[] = {
        {C::线路数组合框, {"单声道", "立体音"}},
        {C::采样率组合框, {"8000HZ", "11025HZ", "22050HZ", "44100HZ"}},
        {C::采样大小组合框, {"8位", "16位"}},
    };
    for (const auto& c : cases) {
        auto* list = qobject_cast<QComboBox*>(controlWidget(c.id));
        ASSERT_NE(list, nullptr);
        EXPECT_FALSE(list->isEditable());
        QStringList items;
        for (int i = 0; i < list->count(); ++i) {
            items << list->itemText(i);
        }
        EXPECT_EQ(items, c.items);
    }
}

TEST_F(LoadedWindow, CarriesTheApplicationIconLargeAndSmall) {
    const QList<QSize> sizes = m_form->windowIcon().availableSizes();
    for (const QSize size : {QSize(16, 16), QSize(32, 32), QSize(48, 48)}) {
        EXPECT_TRUE(sizes.contains(size)) << size.width();
    }
}

TEST_F(LoadedWindow, DrawsTheLabelInItsFontOnTheSolidBackground) {
    auto* label = qobject_cast<QLabel*>(controlWidget(C::标签1));
    ASSERT_NE(label, nullptr);
    const QFontInfo font(label->font());
    EXPECT_EQ(font.family(), QStringLiteral("AR PL UMing CN")) << "first installed of the list";
    EXPECT_EQ(font.pixelSize(), 16);
    EXPECT_EQ(label->font().weight(), QFont::Normal);
    EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_FALSE(label->wordWrap());
    EXPECT_EQ(label->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::black));
    // Buttons keep the application's default font.
    EXPECT_EQ(controlWidget(C::录音按钮)->font(), QApplication::font());

    const QImage image = m_form->grab().toImage();
    const QColor background(255, 168, 255);
    for (const QPoint point : {QPoint(1, 1), QPoint(10, 80), QPoint(266, 90), QPoint(56, 37)}) {
        EXPECT_EQ(image.pixelColor(point), background) << point.x() << "," << point.y();
    }
}

// Presses a key with the real keyboard and waits until the X server's events have all been
// handled: a Tab sent after it moves the focus only once every key before it was handled.
void pressThenSync(QWidget* form, const QString& key) {
    QWidget* before = form->focusWidget();
    xdotool({QStringLiteral("key"), key, QStringLiteral("Tab")});
    ASSERT_TRUE(waitFor([&] { return form->focusWidget() != before; }))
        << "the Tab after " << key.toStdString() << " never arrived";
}

TEST_F(LoadedWindow, TabMovesAmongTheVisibleEnabledButtons) {
    QWidget* record = controlWidget(C::录音按钮);
    QWidget* stop = controlWidget(C::优化配置按钮);
    QWidget* playback = controlWidget(C::回放按钮);
    EXPECT_EQ(m_form->focusWidget(), record);
    const struct {
        bool playbackEnabled;
        std::vector<QWidget*> order; // focus after each Tab
    } cases[] = {
        {false, {stop, record, stop}},
        {true, {stop, playback, record}},
    };
    for (const auto& c : cases) {
        window().setDisabled(C::回放按钮, !c.playbackEnabled);
        record->setFocus();
        for (QWidget* expected : c.order) {
            QWidget* before = m_form->focusWidget();
            xdotool({QStringLiteral("key"), QStringLiteral("Tab")});
            ASSERT_TRUE(waitFor([&] { return m_form->focusWidget() != before; }));
            EXPECT_EQ(m_form->focusWidget(), expected) << "playback enabled " << c.playbackEnabled;
        }
    }
}

TEST_F(LoadedWindow, EnterClicksTheRecordButtonWhereverTheFocusIsWhileItIsEnabled) {
    const struct {
        Control focus;
        bool recordEnabled;
        std::vector<Control> clicks;
    } cases[] = {
        {C::录音按钮, true, {C::录音按钮}},
        {C::优化配置按钮, true, {C::录音按钮}},
        {C::优化配置按钮, false, {}},
    };
    // With 回放按钮 enabled the syncing Tab always has somewhere to go.
    window().setDisabled(C::回放按钮, false);
    for (const auto& c : cases) {
        m_events.clicks.clear();
        window().setDisabled(C::录音按钮, !c.recordEnabled);
        controlWidget(c.focus)->setFocus();
        ASSERT_TRUE(waitFor([&] { return m_form->focusWidget() == controlWidget(c.focus); }));
        pressThenSync(m_form, QStringLiteral("Return"));
        EXPECT_EQ(m_events.clicks, c.clicks)
            << "focus " << static_cast<int>(c.focus) << " enabled " << c.recordEnabled;
    }
}

TEST_F(LoadedWindow, EscAndF1NeitherCloseNorRaiseAnything) {
    pressThenSync(m_form, QStringLiteral("Escape"));
    pressThenSync(m_form, QStringLiteral("F1"));
    EXPECT_TRUE(m_form->isVisible());
    EXPECT_EQ(m_events.log, std::vector<std::string>{"created"});
}

TEST_F(LoadedWindow, AClickRaisesItsEventOnlyWhileTheButtonIsEnabled) {
    clickAt(C::回放按钮); // disabled: no event
    clickAt(C::优化配置按钮);
    ASSERT_TRUE(waitFor([&] { return !m_events.clicks.empty(); }));
    EXPECT_EQ(m_events.clicks, std::vector<Control>{C::优化配置按钮});

    window().setDisabled(C::回放按钮, false);
    clickAt(C::回放按钮);
    ASSERT_TRUE(waitFor([&] { return m_events.clicks.size() == 2; }));
    EXPECT_EQ(m_events.clicks[1], C::回放按钮);

    window().setDisabled(C::录音按钮, true);
    clickAt(C::录音按钮);
    clickAt(C::优化配置按钮);
    ASSERT_TRUE(waitFor([&] { return m_events.clicks.size() == 3; }));
    EXPECT_EQ(m_events.clicks[2], C::优化配置按钮);
}

TEST_F(LoadedWindow, PressingOnTheBackgroundOrTheLabelDragsTheWindow) {
    const struct {
        const char* where;
        Control control; // the point is within it
        QPoint point;
    } cases[] = {
        {"label", C::标签1, {20, 12}},
        {"background", C::窗口, {10, 80}},
        {"background between buttons", C::窗口, {87, 15}},
    };
    for (const auto& c : cases) {
        QWidget* target = c.control == C::窗口 ? m_form : controlWidget(c.control);
        const QPoint start = screenPoint(target, c.point.x(), c.point.y());
        const QPoint before = m_form->frameGeometry().topLeft();
        xdotool({QStringLiteral("mousemove"), QString::number(start.x()),
                 QString::number(start.y()), QStringLiteral("mousedown"), QStringLiteral("1")});
        for (int step = 1; step <= 4; ++step) {
            xdotool({QStringLiteral("mousemove"), QString::number(start.x() + 10 * step),
                     QString::number(start.y() - 5 * step)});
        }
        xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
        const QPoint expected = before + QPoint(40, -20);
        EXPECT_TRUE(waitFor([&] { return m_form->frameGeometry().topLeft() == expected; }))
            << c.where << ": at " << m_form->frameGeometry().x() << ","
            << m_form->frameGeometry().y();
    }
    EXPECT_TRUE(m_events.clicks.empty());
}

TEST_F(LoadedWindow, ReadsAndWritesEachPropertyAndIgnoresOnesAControlLacks) {
    window().setTitle("咚咚鸟V1.2【正在录音】");
    EXPECT_EQ(window().title(), "咚咚鸟V1.2【正在录音】");
    EXPECT_EQ(m_form->windowTitle(), QStringLiteral("咚咚鸟V1.2【正在录音】"));

    window().setCaption(C::录音按钮, "暂停");
    EXPECT_EQ(window().caption(C::录音按钮), "暂停");
    EXPECT_EQ(qobject_cast<QPushButton*>(controlWidget(C::录音按钮))->text(),
              QStringLiteral("暂停"));

    window().setDisabled(C::回放按钮, false);
    EXPECT_FALSE(window().disabled(C::回放按钮));
    EXPECT_TRUE(controlWidget(C::回放按钮)->isEnabled());
    window().setDisabled(C::优化配置按钮, true);
    EXPECT_TRUE(window().disabled(C::优化配置按钮));

    const struct {
        Control list;
        int write;
        int read;
    } selections[] = {
        {C::线路数组合框, 1, 1},  {C::采样率组合框, 3, 3},   {C::采样大小组合框, 1, 1},
        {C::采样率组合框, 4, -1}, {C::线路数组合框, -1, -1},
    };
    for (const auto& s : selections) {
        window().setSelectedItem(s.list, s.write);
        EXPECT_EQ(window().selectedItem(s.list), s.read)
            << static_cast<int>(s.list) << " " << s.write;
    }

    window().setFileName("录音.wav");
    EXPECT_EQ(window().fileName(), "录音.wav");
    window().setFileName("");
    EXPECT_EQ(window().fileName(), "");

    // Properties a control does not have: reads are empty, writes change nothing.
    EXPECT_EQ(window().selectedItem(C::录音按钮), -1);
    window().setSelectedItem(C::录音按钮, 1);
    window().setCaption(C::线路数组合框, "x");
    EXPECT_EQ(window().caption(C::线路数组合框), "");
    EXPECT_EQ(window().caption(C::对话框), "");
    EXPECT_EQ(qobject_cast<QComboBox*>(controlWidget(C::线路数组合框))->currentIndex(), -1);
}

TEST_F(LoadedWindow, AlwaysOnTopChangesStackingOnlyAndIsStored) {
    const QRect place = m_form->frameGeometry();
    const WId id = m_form->winId();
    const struct { bool on; } cases[] = {{false}, {true}, {false}};
    for (const auto& c : cases) {
        window().setAlwaysOnTop(c.on);
        EXPECT_EQ(window().alwaysOnTop(), c.on);
        EXPECT_EQ(m_form->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint), c.on);
        // Neither hidden nor recreated, moved or resized.
        EXPECT_TRUE(m_form->isVisible());
        EXPECT_EQ(m_form->winId(), id);
        EXPECT_EQ(m_form->frameGeometry(), place);
    }
}

TEST(WindowBeforeLoad, PropertyCallsDoNothing) {
    auto host = makeWindowHost();
    Window& window = host->window();
    window.setTitle("x");
    window.setCaption(Control::录音按钮, "x");
    window.setFileName("x");
    window.setAlwaysOnTop(true);
    EXPECT_EQ(window.title(), "");
    EXPECT_EQ(window.caption(Control::录音按钮), "");
    EXPECT_EQ(window.fileName(), "");
    EXPECT_FALSE(window.alwaysOnTop());
    EXPECT_FALSE(window.disabled(Control::回放按钮));
    EXPECT_EQ(window.selectedItem(Control::线路数组合框), -1);
    host->runMessageLoop(); // no window: returns at once
}

TEST_F(LoadedWindow, CloseHidesRaisesWillBeDestroyedWithControlsAliveThenEndsTheLoop) {
    std::string captionAfterWait;
    m_events.onWillBeDestroyed = [&] {
        // A wait inside the handler, as the application does, keeps the window alive.
        waitProcessingEvents(100);
        captionAfterWait = window().caption(C::录音按钮);
    };
    bool watchdogFired = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        watchdogFired = true;
        releaseWindows();
    });
    watchdog.start(10000);
    ASSERT_TRUE(requestClose(windowId()));
    m_host->runMessageLoop();

    EXPECT_FALSE(watchdogFired) << "the loop did not end by itself";
    EXPECT_EQ(m_events.log, (std::vector<std::string>{"created", "willBeDestroyed"}));
    EXPECT_FALSE(m_events.windowVisibleAtWillBeDestroyed);
    EXPECT_EQ(m_events.captionAtWillBeDestroyed, "录音");
    EXPECT_EQ(captionAfterWait, "录音");
    EXPECT_EQ(liveForm(), nullptr);
    EXPECT_EQ(window().title(), "") << "the window is gone";
}

TEST(WindowLoad, ACreatedHandlerThatReleasesTheWindowLeavesNothingToShowOrRun) {
    RecordingEvents events;
    auto host = makeWindowHost();
    events.window = &host->window();
    events.onCreated = [] { releaseWindows(); };
    ASSERT_TRUE(host->load(mainWindowDefinition(), events));
    host->runMessageLoop(); // returns at once: no window left
    EXPECT_EQ(events.log, std::vector<std::string>{"created"});
    EXPECT_EQ(liveForm(), nullptr);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(widget->isVisible());
    }
}

} // namespace
} // namespace dd::test
