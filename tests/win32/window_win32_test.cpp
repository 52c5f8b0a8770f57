// The Win32 window layer with real windows, run under wine64 on a private X server with a window
// manager (tests/e2e/e2e_wine.sh): the main window's frame, place, controls and fonts, its keys,
// clicks and dragging, property access, close, and the wait, message box and release of ui.h.
// Keys and clicks go in through SendInput, the way a real keyboard and mouse deliver them.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "platform/window/ui.h"
#include "platform/window/win32/form.h"
#include "platform/window/window.h"

namespace dd::test {
namespace {

using C = Control;

// Records every event in order, and what the window looked like when created was raised.
class RecordingEvents final : public WindowEvents {
  public:
    void created() override;
    void willBeDestroyed() override;
    void clicked(Control button) override {
        log.emplace_back("clicked");
        clicks.push_back(button);
        if (onClicked) {
            onClicked(button);
        }
    }

    std::vector<std::string> log;
    std::vector<Control> clicks;
    bool windowVisibleAtCreated = true;
    std::vector<int> selectionsAtCreated;
    bool windowExistedAtWillBeDestroyed = false;
    bool windowVisibleAtWillBeDestroyed = true;
    std::string captionAtWillBeDestroyed;
    std::function<void()> onCreated;
    std::function<void()> onWillBeDestroyed;
    std::function<void(Control)> onClicked;
    Window* window = nullptr;
};

HWND liveForm() {
    const auto forms = win32::Form::liveForms();
    return forms.empty() ? nullptr : forms.front()->handle();
}

HWND controlHandle(Control id) {
    const auto forms = win32::Form::liveForms();
    const win32::Form::ControlEntry* entry = forms.empty() ? nullptr : forms.front()->control(id);
    return entry ? entry->handle : nullptr;
}

void RecordingEvents::created() {
    log.emplace_back("created");
    windowVisibleAtCreated = IsWindowVisible(liveForm()) != FALSE;
    for (Control list : {C::线路数组合框, C::采样率组合框, C::采样大小组合框}) {
        selectionsAtCreated.push_back(window->selectedItem(list));
    }
    if (onCreated) {
        onCreated();
    }
}

void RecordingEvents::willBeDestroyed() {
    log.emplace_back("willBeDestroyed");
    const HWND form = liveForm();
    windowExistedAtWillBeDestroyed = form && IsWindow(form);
    windowVisibleAtWillBeDestroyed = IsWindowVisible(form) != FALSE;
    captionAtWillBeDestroyed = window->caption(C::录音按钮);
    if (onWillBeDestroyed) {
        onWillBeDestroyed();
    }
}

// Dispatches messages until the predicate holds or the time runs out; the predicate's last value.
bool waitFor(const std::function<bool()>& predicate, int timeoutMs = 5000) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    while (!predicate()) {
        if (GetTickCount64() > end) {
            return predicate();
        }
        waitProcessingEvents(10);
    }
    return true;
}

std::wstring windowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// A control's rectangle in its parent's client area.
RECT placeInParent(HWND control) {
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

std::string describe(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

// Presses and releases a key as the keyboard would, then lets the window handle it.
void pressKey(WORD key) {
    INPUT input[2] = {};
    input[0].type = INPUT_KEYBOARD;
    input[0].ki.wVk = key;
    input[1] = input[0];
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(SendInput(2, input, sizeof(INPUT)), 2u);
    waitProcessingEvents(100);
}

// Moves the mouse to a point of the screen, in pixels.
INPUT mouseAt(POINT point, DWORD flags) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(point.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    input.mi.dy = MulDiv(point.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | flags;
    return input;
}

POINT screenPoint(HWND window, int x, int y) {
    POINT point{x, y};
    ClientToScreen(window, &point);
    return point;
}

// Clicks with the left button at the centre of a control.
void clickAt(HWND control) {
    RECT r;
    GetClientRect(control, &r);
    const POINT point = screenPoint(control, r.right / 2, r.bottom / 2);
    INPUT input[3] = {mouseAt(point, 0), mouseAt(point, MOUSEEVENTF_LEFTDOWN),
                      mouseAt(point, MOUSEEVENTF_LEFTUP)};
    ASSERT_EQ(SendInput(3, input, sizeof(INPUT)), 3u);
}

// Ends any quit request and message left behind, so that the next test starts clean.
void drainMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// Releases every window unless the test has ended by then: keeps a broken loop from hanging.
class Watchdog {
  public:
    explicit Watchdog(UINT ms) {
        s_fired = false;
        m_timer = SetTimer(nullptr, 0, ms, fire);
    }
    ~Watchdog() { KillTimer(nullptr, m_timer); }
    static bool fired() { return s_fired; }

  private:
    static void CALLBACK fire(HWND, UINT, UINT_PTR, DWORD) {
        s_fired = true;
        releaseWindows();
    }
    static inline bool s_fired = false;
    UINT_PTR m_timer = 0;
};

// The main window loaded and shown, with a recording fake for its handlers; every window is
// released at the end so that no handler outlives the test.
class LoadedWindow : public testing::Test {
  protected:
    void SetUp() override {
        m_host = makeWindowHost();
        m_events.window = &m_host->window();
        ASSERT_TRUE(m_host->load(mainWindowDefinition(), m_events));
        m_form = liveForm();
        ASSERT_NE(m_form, nullptr);
        ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == m_form; }))
            << "the window never became the active one";
    }
    void TearDown() override {
        releaseWindows();
        drainMessages();
    }
    Window& window() { return m_host->window(); }

    std::unique_ptr<WindowHost> m_host;
    RecordingEvents m_events;
    HWND m_form = nullptr;
};

TEST_F(LoadedWindow, ComesUpCentredAtItsOuterSizeWithAFixedFrameAboveOtherWindows) {
    RECT outer;
    GetWindowRect(m_form, &outer);
    const int left = (GetSystemMetrics(SM_CXSCREEN) - 268) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - 92) / 2;
    EXPECT_EQ(describe(outer), describe(RECT{left, top, left + 268, top + 92}));

    const LONG style = GetWindowLongW(m_form, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(m_form, GWL_EXSTYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME) << "no sizing border";
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_FALSE(exStyle & WS_EX_TOOLWINDOW) << "a tool window would lose its taskbar entry";
    EXPECT_EQ(GetWindow(m_form, GW_OWNER), nullptr);
    EXPECT_TRUE(window().alwaysOnTop());
}

TEST_F(LoadedWindow, PlacesEachControlAtItsPlaceAndSize) {
    const struct {
        Control id;
        const wchar_t* className;
        RECT place;
    } cases[] = {
        {C::录音按钮, L"Button", {3, 5, 83, 31}},
        {C::优化配置按钮, L"Button", {91, 5, 171, 31}},
        {C::回放按钮, L"Button", {179, 5, 259, 31}},
        {C::标签1, L"Static", {55, 36, 199, 60}},
        {C::线路数组合框, L"ComboBox", {64, 9, 164, 29}},
        {C::采样率组合框, L"ComboBox", {64, 34, 164, 54}},
        {C::采样大小组合框, L"ComboBox", {64, 59, 164, 79}},
    };
    for (const auto& c : cases) {
        const HWND control = controlHandle(c.id);
        ASSERT_NE(control, nullptr) << static_cast<int>(c.id);
        EXPECT_EQ(GetParent(control), m_form);
        EXPECT_EQ(CompareStringOrdinal(className(control).c_str(), -1, c.className, -1, TRUE),
                  CSTR_EQUAL)
            << static_cast<int>(c.id);
        RECT place = placeInParent(control);
        if (c.id == C::线路数组合框 || c.id == C::采样率组合框 || c.id == C::采样大小组合框) {
            // The system gives a drop-down list's field the height of its font.
            place.bottom = c.place.bottom;
        }
        EXPECT_EQ(describe(place), describe(c.place)) << static_cast<int>(c.id);
    }
    EXPECT_EQ(controlHandle(C::对话框), nullptr) << "the file dialog is never a window";
}

TEST_F(LoadedWindow, ShowsItsControlsWithTheirInitialCaptionsAndStates) {
    EXPECT_EQ(window().title(), "咚咚鸟录音工具");
    EXPECT_EQ(windowText(m_form), L"咚咚鸟录音工具");
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
        EXPECT_EQ(IsWindowVisible(controlHandle(c.id)) != FALSE, c.visible)
            << static_cast<int>(c.id);
        EXPECT_EQ(window().disabled(c.id), c.disabled) << static_cast<int>(c.id);
        EXPECT_EQ(IsWindowEnabled(controlHandle(c.id)) == FALSE, c.disabled);
    }
    const struct {
        Control id;
        LONG type;
    } buttons[] = {
        {C::录音按钮, BS_DEFPUSHBUTTON},
        {C::优化配置按钮, BS_PUSHBUTTON},
        {C::回放按钮, BS_PUSHBUTTON},
    };
    for (const auto& b : buttons) {
        const LONG style = GetWindowLongW(controlHandle(b.id), GWL_STYLE);
        EXPECT_EQ(style & BS_TYPEMASK, b.type) << static_cast<int>(b.id);
        EXPECT_TRUE(style & WS_TABSTOP);
    }
    EXPECT_EQ(window().fileName(), "");
}

TEST_F(LoadedWindow, CreatedRanBeforeShowWithTheFirstItemOfEachListSelected) {
    EXPECT_EQ(m_events.log, std::vector<std::string>{"created"});
    EXPECT_FALSE(m_events.windowVisibleAtCreated);
    EXPECT_EQ(m_events.selectionsAtCreated, (std::vector<int>{0, 0, 0}));
    EXPECT_TRUE(IsWindowVisible(m_form));
    EXPECT_EQ(GetFocus(), controlHandle(C::录音按钮)) << "the default button has the focus";

    const struct {
        Control id;
        std::vector<std::wstring> items;
    } cases[] = {
        {C::线路数组合框, {L"单声道", L"立体音"}},
        {C::采样率组合框, {L"8000HZ", L"11025HZ", L"22050HZ", L"44100HZ"}},
        {C::采样大小组合框, {L"8位", L"16位"}},
    };
    for (const auto& c : cases) {
        const HWND list = controlHandle(c.id);
        EXPECT_EQ(GetWindowLongW(list, GWL_STYLE) & 0x3, CBS_DROPDOWNLIST) << "pick only";
        EXPECT_FALSE(GetWindowLongW(list, GWL_STYLE) & CBS_SORT);
        std::vector<std::wstring> items;
        const auto count = SendMessageW(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t item[64] = {};
            SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(item));
            items.emplace_back(item);
        }
        EXPECT_EQ(items, c.items);
    }
}

TEST_F(LoadedWindow, CarriesTheApplicationIconLargeAndSmall) {
    const HICON stock = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
    const struct {
        WPARAM which;
        int width;
    } cases[] = {
        {ICON_BIG, GetSystemMetrics(SM_CXICON)},
        {ICON_SMALL, GetSystemMetrics(SM_CXSMICON)},
    };
    for (const auto& c : cases) {
        const auto icon = reinterpret_cast<HICON>(SendMessageW(m_form, WM_GETICON, c.which, 0));
        ASSERT_NE(icon, nullptr) << c.which;
        EXPECT_NE(icon, stock) << "the program's own icon, not the stock one";
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
        EXPECT_EQ(bitmap.bmWidth, c.width) << c.which;
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
}

TEST_F(LoadedWindow, DrawsTheLabelInItsFontOnTheSolidBackground) {
    const HWND label = controlHandle(C::标签1);
    LOGFONTW font{};
    ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)),
                           sizeof(font), &font));
    EXPECT_EQ(font.lfHeight, -16) << "a character height of 16 pixels";
    EXPECT_EQ(font.lfCharSet, GB2312_CHARSET);
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
    EXPECT_FALSE(font.lfItalic);
    // One of the definition's families: the first that is installed (宋体 on a Chinese system).
    char face[LF_FACESIZE * 3] = {};
    WideCharToMultiByte(CP_UTF8, 0, font.lfFaceName, -1, face, sizeof(face), nullptr, nullptr);
    const auto& families = mainWindowDefinition().labelFont.families;
    EXPECT_NE(std::find(families.begin(), families.end(), std::string(face)), families.end())
        << face;
    const LONG style = GetWindowLongW(label, GWL_STYLE);
    EXPECT_EQ(style & SS_TYPEMASK, SS_LEFT);
    EXPECT_TRUE(style & SS_CENTERIMAGE) << "one line, centred from top to bottom";
    EXPECT_FALSE(style & (WS_BORDER | SS_SUNKEN));
    EXPECT_FALSE(GetWindowLongW(label, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE));

    // Buttons take the system's message font.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
    LOGFONTW buttonFont{};
    ASSERT_TRUE(GetObjectW(
        reinterpret_cast<HFONT>(SendMessageW(controlHandle(C::录音按钮), WM_GETFONT, 0, 0)),
        sizeof(buttonFont), &buttonFont));
    EXPECT_EQ(std::wstring(buttonFont.lfFaceName), std::wstring(metrics.lfMessageFont.lfFaceName));
    EXPECT_EQ(buttonFont.lfHeight, metrics.lfMessageFont.lfHeight);

    // What is on the screen: the background colour, in the label too, with dark text in it.
    RedrawWindow(m_form, nullptr, nullptr,
                 RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    waitProcessingEvents(200);
    RECT client;
    GetClientRect(m_form, &client);
    HDC screen = GetDC(nullptr);
    const POINT backgroundPoints[] = {
        {1, 1}, {10, client.bottom - 2}, {client.right - 2, client.bottom - 2}, {56, 37}};
    for (const POINT p : backgroundPoints) {
        const POINT at = screenPoint(m_form, p.x, p.y);
        EXPECT_EQ(GetPixel(screen, at.x, at.y), RGB(255, 168, 255)) << p.x << "," << p.y;
    }
    // The text: a good number of pixels off the background, the darkest of them near black
    // (the strokes are smoothed, so few are quite black).
    int textPixels = 0;
    int darkest = 255 * 3;
    for (int y = 36; y < 60; ++y) {
        for (int x = 55; x < 199; ++x) {
            const POINT at = screenPoint(m_form, x, y);
            const COLORREF colour = GetPixel(screen, at.x, at.y);
            if (colour != RGB(255, 168, 255)) {
                ++textPixels;
                darkest =
                    std::min(darkest, GetRValue(colour) + GetGValue(colour) + GetBValue(colour));
            }
        }
    }
    ReleaseDC(nullptr, screen);
    EXPECT_GT(textPixels, 50) << "the label's text is drawn";
    EXPECT_LT(darkest, 3 * 64) << "in black";
}

TEST_F(LoadedWindow, TabMovesAmongTheVisibleEnabledButtons) {
    const HWND record = controlHandle(C::录音按钮);
    const HWND stop = controlHandle(C::优化配置按钮);
    const HWND playback = controlHandle(C::回放按钮);
    const struct {
        bool playbackEnabled;
        std::vector<HWND> order; // focus after each Tab
    } cases[] = {
        {false, {stop, record, stop}},
        {true, {stop, playback, record}},
    };
    for (const auto& c : cases) {
        window().setDisabled(C::回放按钮, !c.playbackEnabled);
        SetFocus(record);
        for (const HWND expected : c.order) {
            pressKey(VK_TAB);
            EXPECT_EQ(GetFocus(), expected) << "playback enabled " << c.playbackEnabled;
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
    for (const auto& c : cases) {
        m_events.clicks.clear();
        window().setDisabled(C::录音按钮, !c.recordEnabled);
        SetFocus(controlHandle(c.focus));
        ASSERT_EQ(GetFocus(), controlHandle(c.focus));
        pressKey(VK_RETURN);
        EXPECT_EQ(m_events.clicks, c.clicks)
            << "focus " << static_cast<int>(c.focus) << " enabled " << c.recordEnabled;
    }
}

TEST_F(LoadedWindow, EscAndF1NeitherCloseNorRaiseAnything) {
    pressKey(VK_ESCAPE);
    pressKey(VK_F1);
    EXPECT_TRUE(IsWindowVisible(m_form));
    EXPECT_EQ(GetForegroundWindow(), m_form) << "no help window came up";
    EXPECT_EQ(m_events.log, std::vector<std::string>{"created"});
}

TEST_F(LoadedWindow, AClickRaisesItsEventOnlyWhileTheButtonIsEnabled) {
    clickAt(controlHandle(C::回放按钮)); // disabled: no event
    clickAt(controlHandle(C::优化配置按钮));
    ASSERT_TRUE(waitFor([&] { return !m_events.clicks.empty(); }));
    waitProcessingEvents(100);
    EXPECT_EQ(m_events.clicks, std::vector<Control>{C::优化配置按钮});

    window().setDisabled(C::回放按钮, false);
    clickAt(controlHandle(C::回放按钮));
    ASSERT_TRUE(waitFor([&] { return m_events.clicks.size() == 2; }));
    EXPECT_EQ(m_events.clicks[1], C::回放按钮);

    window().setDisabled(C::录音按钮, true);
    clickAt(controlHandle(C::录音按钮));
    clickAt(controlHandle(C::优化配置按钮));
    ASSERT_TRUE(waitFor([&] { return m_events.clicks.size() == 3; }));
    waitProcessingEvents(100);
    EXPECT_EQ(m_events.clicks,
              (std::vector<Control>{C::优化配置按钮, C::回放按钮, C::优化配置按钮}));
}

TEST_F(LoadedWindow, TheBackgroundAndTheLabelAnswerAsTheTitleBarSoAPressDragsTheWindow) {
    // Hit-testing goes to the control under the point first; one that answers HTTRANSPARENT
    // passes it on to the window, which answers HTCAPTION where it would say HTCLIENT.
    const auto hit = [](HWND window, POINT p) {
        return SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    };
    const struct {
        const char* where;
        POINT point; // in the client area
        Control control;
        LRESULT controlAnswer;
    } cases[] = {
        {"label", {60, 45}, C::标签1, HTTRANSPARENT},
        {"background below the buttons", {10, 45}, C::窗口, HTCAPTION},
        {"background between buttons", {87, 15}, C::窗口, HTCAPTION},
        {"button", {40, 15}, C::录音按钮, HTCLIENT},
    };
    for (const auto& c : cases) {
        const POINT at = screenPoint(m_form, c.point.x, c.point.y);
        const HWND target = c.control == C::窗口 ? m_form : controlHandle(c.control);
        EXPECT_EQ(hit(target, at), c.controlAnswer) << c.where;
        if (c.control != C::录音按钮) {
            EXPECT_EQ(hit(m_form, at), HTCAPTION) << c.where;
        }
    }
}

TEST_F(LoadedWindow, ReadsAndWritesEachPropertyAndIgnoresOnesAControlLacks) {
    window().setTitle("咚咚鸟V1.2【正在录音】");
    EXPECT_EQ(window().title(), "咚咚鸟V1.2【正在录音】");
    EXPECT_EQ(windowText(m_form), L"咚咚鸟V1.2【正在录音】");

    window().setCaption(C::录音按钮, "暂停");
    EXPECT_EQ(window().caption(C::录音按钮), "暂停");
    EXPECT_EQ(windowText(controlHandle(C::录音按钮)), L"暂停");

    window().setDisabled(C::回放按钮, false);
    EXPECT_FALSE(window().disabled(C::回放按钮));
    EXPECT_TRUE(IsWindowEnabled(controlHandle(C::回放按钮)));
    SetFocus(controlHandle(C::优化配置按钮));
    window().setDisabled(C::优化配置按钮, true);
    EXPECT_TRUE(window().disabled(C::优化配置按钮));
    EXPECT_EQ(GetFocus(), controlHandle(C::回放按钮))
        << "the focus moves on from a disabled button";

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
        EXPECT_EQ(SendMessageW(controlHandle(s.list), CB_GETCURSEL, 0, 0), s.read);
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
    EXPECT_EQ(SendMessageW(controlHandle(C::线路数组合框), CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(LoadedWindow, AlwaysOnTopChangesStackingOnlyAndIsStored) {
    RECT before;
    GetWindowRect(m_form, &before);
    // Another window takes the focus: writing the property must not take it back.
    const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                       0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(other);
    ASSERT_TRUE(waitFor([&] { return GetForegroundWindow() == other; }));
    for (const bool on : {false, true, false}) {
        window().setAlwaysOnTop(on);
        EXPECT_EQ(window().alwaysOnTop(), on);
        EXPECT_EQ((GetWindowLongW(m_form, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, on);
        RECT now;
        GetWindowRect(m_form, &now);
        EXPECT_EQ(describe(now), describe(before)) << "neither moved nor resized";
        EXPECT_TRUE(IsWindowVisible(m_form));
        EXPECT_EQ(GetForegroundWindow(), other) << "not activated";
    }
    DestroyWindow(other);
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
    Watchdog watchdog(10000);
    // What the close box and the system menu's Close send.
    PostMessageW(m_form, WM_SYSCOMMAND, SC_CLOSE, 0);
    m_host->runMessageLoop();

    EXPECT_FALSE(Watchdog::fired()) << "the loop did not end by itself";
    EXPECT_EQ(m_events.log, (std::vector<std::string>{"created", "willBeDestroyed"}));
    EXPECT_TRUE(m_events.windowExistedAtWillBeDestroyed);
    EXPECT_FALSE(m_events.windowVisibleAtWillBeDestroyed);
    EXPECT_EQ(m_events.captionAtWillBeDestroyed, "录音");
    EXPECT_EQ(captionAfterWait, "录音");
    EXPECT_FALSE(IsWindow(m_form));
    EXPECT_EQ(liveForm(), nullptr);
    EXPECT_EQ(window().title(), "") << "the window is gone";
}

TEST(WindowLoad, ACreatedHandlerThatReleasesTheWindowLeavesNothingToShowOrRun) {
    RecordingEvents events;
    auto host = makeWindowHost();
    events.window = &host->window();
    HWND created = nullptr;
    events.onCreated = [&] {
        created = liveForm();
        releaseWindows();
    };
    ASSERT_TRUE(host->load(mainWindowDefinition(), events));
    host->runMessageLoop(); // returns at once: no window left
    EXPECT_EQ(events.log, std::vector<std::string>{"created"});
    EXPECT_NE(created, nullptr);
    EXPECT_FALSE(IsWindow(created));
    EXPECT_EQ(liveForm(), nullptr);
    drainMessages();
}

TEST_F(LoadedWindow, WaitRunsAPendingClickAndReturnsOnlyAfterItsTime) {
    PostMessageW(controlHandle(C::优化配置按钮), BM_CLICK, 0, 0);
    const ULONGLONG start = GetTickCount64();
    waitProcessingEvents(100);
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_EQ(m_events.clicks, std::vector<Control>{C::优化配置按钮});
    EXPECT_GT(waited, 100u);
}

TEST_F(LoadedWindow, AWaitOfZeroOrLessReturnsWithoutDispatching) {
    for (const int ms : {0, -1, -100}) {
        m_events.clicks.clear();
        PostMessageW(controlHandle(C::优化配置按钮), BM_CLICK, 0, 0);
        waitProcessingEvents(ms);
        EXPECT_TRUE(m_events.clicks.empty()) << ms;
        // The click was indeed pending: it runs at the next dispatch.
        EXPECT_TRUE(waitFor([&] { return !m_events.clicks.empty(); })) << ms;
    }
}

TEST_F(LoadedWindow, AQuitRequestDoesNotEndAWaitEarlyAndIsPostedAgainAfterIt) {
    PostQuitMessage(3);
    const ULONGLONG start = GetTickCount64();
    waitProcessingEvents(200);
    EXPECT_GT(GetTickCount64() - start, 200u);
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "the quit request was lost";
    EXPECT_EQ(message.wParam, 3u);
}

bool g_releasedByTimer = false;

void CALLBACK releaseByTimer(HWND, UINT, UINT_PTR, DWORD) {
    g_releasedByTimer = true;
    releaseWindows();
}

TEST_F(LoadedWindow, AQuitRequestDoesNotEndTheLoopWhileTheWindowExists) {
    g_releasedByTimer = false;
    PostQuitMessage(0);
    const UINT_PTR timer = SetTimer(nullptr, 0, 300, releaseByTimer);
    m_host->runMessageLoop();
    KillTimer(nullptr, timer);
    EXPECT_TRUE(g_releasedByTimer) << "the loop ended before the window was gone";
    EXPECT_EQ(m_events.log, std::vector<std::string>{"created"});
}

double cpuSeconds() {
    FILETIME creation, exit, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user);
    const auto ticks = [](FILETIME t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

TEST_F(LoadedWindow, AWaitBlocksRatherThanSpins) {
    // A spinning wait burns about as much processor time as it waits; a blocking one next
    // to none. Half is far from both.
    const double before = cpuSeconds();
    waitProcessingEvents(600);
    EXPECT_LT(cpuSeconds() - before, 0.3);
}

// What a watcher thread saw of the message box while it was up.
struct BoxSighting {
    bool seen = false;
    bool ownerless = false;
    bool mainWindowDisabled = false;
    std::wstring texts; // the box's own text controls, joined
};

// Finds the box titled "提示:" from another thread, notes what it sees and presses a button.
BoxSighting answerBox(HWND mainWindow, int button) {
    BoxSighting sighting;
    for (int i = 0; i < 500 && !sighting.seen; ++i) {
        const HWND box = FindWindowW(L"#32770", L"提示:");
        if (box && IsWindowVisible(box)) {
            sighting.seen = true;
            sighting.ownerless = GetWindow(box, GW_OWNER) == nullptr;
            sighting.mainWindowDisabled = !IsWindowEnabled(mainWindow);
            for (HWND child = GetWindow(box, GW_CHILD); child;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                sighting.texts += windowText(child) + L"|";
            }
            PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
        } else {
            Sleep(20);
        }
    }
    return sighting;
}

TEST_F(LoadedWindow, TheMessageBoxHasNoOwnerIsModalToTheWindowAndReturnsThePressedButton) {
    const struct {
        int style;
        int press;
        int result;
    } cases[] = {
        {16, IDOK, IDOK},             // the application's: stop icon, one OK button
        {32 | 4, IDNO, IDNO},         // question, Yes and No
        {48 | 1, IDCANCEL, IDCANCEL}, // warning, OK and Cancel
    };
    for (const auto& c : cases) {
        BoxSighting sighting;
        std::thread watcher([&] { sighting = answerBox(m_form, c.press); });
        const int result = showMessageBox("启动失败,请重新运行。", c.style, "提示:");
        watcher.join();
        EXPECT_TRUE(sighting.seen) << c.style;
        EXPECT_EQ(result, c.result) << c.style;
        EXPECT_TRUE(sighting.ownerless) << c.style;
        EXPECT_TRUE(sighting.mainWindowDisabled) << "the application's windows take no input";
        EXPECT_NE(sighting.texts.find(L"启动失败,请重新运行。"), std::wstring::npos) << c.style;
        EXPECT_TRUE(IsWindowEnabled(m_form)) << "enabled again once the box is closed";
    }
}

TEST_F(LoadedWindow, ReleaseWindowsDestroysTheWindowWithoutRaisingAnything) {
    releaseWindows();
    EXPECT_FALSE(IsWindow(m_form));
    EXPECT_EQ(liveForm(), nullptr);
    EXPECT_EQ(window().title(), "");
    // Nothing reaches a handler any more, and the loop has nothing to run.
    waitProcessingEvents(100);
    m_host->runMessageLoop();
    EXPECT_EQ(m_events.log, std::vector<std::string>{"created"});
}

TEST_F(LoadedWindow, ReleaseWindowsFromInsideAClickHandlerEndsEveryHandler) {
    m_events.onClicked = [](Control) { releaseWindows(); };
    Watchdog watchdog(10000);
    // Both clicks queued at once: the second comes after the release and must reach nobody.
    PostMessageW(controlHandle(C::优化配置按钮), BM_CLICK, 0, 0);
    PostMessageW(controlHandle(C::录音按钮), BM_CLICK, 0, 0);
    m_host->runMessageLoop();
    waitProcessingEvents(100);
    EXPECT_FALSE(Watchdog::fired());
    EXPECT_EQ(m_events.log, (std::vector<std::string>{"created", "clicked"}));
    EXPECT_EQ(m_events.clicks, std::vector<Control>{C::优化配置按钮});
    EXPECT_FALSE(IsWindow(m_form));
}

} // namespace
} // namespace dd::test
