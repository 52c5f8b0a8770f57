#include "form.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "resources/resource_ids.h"
#include "win32_text.h"

namespace dd::win32 {

namespace {

constexpr wchar_t kClassName[] = L"DongdongRecorderForm";
// Control ids start above the ones the dialog manager sends by itself (IDOK, IDCANCEL, ...).
constexpr int kFirstControlId = 100;

// Every form whose window exists, in creation order.
std::vector<Form*>& registry() {
    static std::vector<Form*> forms;
    return forms;
}

void report(const std::string& what) {
    std::fprintf(stderr, "dongdong-recorder: %s\n", what.c_str());
    std::fflush(stderr);
}

HINSTANCE instance() {
    return GetModuleHandleW(nullptr);
}

// The application icon at one of the system's icon sizes; the stock one when the executable
// carries none (a test program).
HICON applicationIcon(int widthMetric, int heightMetric) {
    auto* icon =
        static_cast<HICON>(LoadImageW(instance(), MAKEINTRESOURCEW(DD_ICON_APPLICATION), IMAGE_ICON,
                                      GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric),
                                      LR_DEFAULTCOLOR | LR_SHARED));
    return icon ? icon : LoadIconW(nullptr, MAKEINTRESOURCEW(32512)); // IDI_APPLICATION
}

bool registerClass(WNDPROC windowProc, std::string& error) {
    static bool registered = false;
    if (registered) {
        return true;
    }
    // Themed controls come from comctl32 version 6, which the manifest selects; it must be
    // loaded and its classes registered before the first control is made.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls); // without it the classes are user32's, unthemed

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance();
    windowClass.hIcon = applicationIcon(SM_CXICON, SM_CYICON);
    windowClass.hIconSm = applicationIcon(SM_CXSMICON, SM_CYSMICON);
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    // No class brush: each form paints the background colour of its own definition.
    windowClass.hbrBackground = nullptr;
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        error = systemErrorText(GetLastError());
        return false;
    }
    registered = true;
    return true;
}

int CALLBACK noteFontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0; // one is enough
}

bool fontInstalled(const std::wstring& family) {
    if (family.empty() || family.size() >= LF_FACESIZE) {
        return false;
    }
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    std::wcsncpy(query.lfFaceName, family.c_str(), LF_FACESIZE - 1);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &query, noteFontFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// The label's font: the first family of the list that is installed, else the first of the
// list, which the font mapper then matches by character set with the closest face it has.
HFONT createLabelFont(const FontDefinition& definition) {
    std::wstring family;
    for (const std::string& candidate : definition.families) {
        const std::wstring wide = widen(candidate);
        if (fontInstalled(wide)) {
            family = wide;
            break;
        }
    }
    if (family.empty() && !definition.families.empty()) {
        family = widen(definition.families.front());
    }
    LOGFONTW font{};
    font.lfHeight = -definition.pixelHeight; // negative: the character height, in pixels
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = GB2312_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    std::wcsncpy(font.lfFaceName, family.c_str(), LF_FACESIZE - 1);
    return CreateFontIndirectW(&font);
}

} // namespace

Form::Form(const WindowDefinition& definition, WindowEvents& events)
    : m_events(&events), m_outerWidth(definition.outerWidth), m_outerHeight(definition.outerHeight),
      m_backgroundColour(
          RGB(definition.background.red, definition.background.green, definition.background.blue)),
      m_alwaysOnTop(definition.alwaysOnTop) {
    static int lastSerial = 0;
    m_serial = ++lastSerial;
    m_background = CreateSolidBrush(m_backgroundColour);
    // Buttons take the font the system uses for message boxes and dialogs.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        m_buttonFont = CreateFontIndirectW(&metrics.lfMessageFont);
        m_ownsButtonFont = m_buttonFont != nullptr;
    }
    if (!m_buttonFont) {
        m_buttonFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    if (definition.labelFont.pixelHeight > 0) {
        m_labelFont = createLabelFont(definition.labelFont);
    }
}

Form::~Form() {
    // The window and its controls, which used these, are gone by now.
    if (m_labelFont) {
        DeleteObject(m_labelFont);
    }
    if (m_ownsButtonFont) {
        DeleteObject(m_buttonFont);
    }
    if (m_background) {
        DeleteObject(m_background);
    }
}

Form* Form::create(const WindowDefinition& definition, WindowEvents& events) {
    std::string error;
    if (!registerClass(&Form::windowProc, error)) {
        report("the window class cannot be registered: " + error);
        return nullptr;
    }
    auto* form = new Form(definition, events);
    // Centred on the whole screen, whatever the taskbar takes; any fraction dropped.
    const int left = (GetSystemMetrics(SM_CXSCREEN) - definition.outerWidth) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - definition.outerHeight) / 2;
    // A fixed frame with a title bar, the system menu and a minimize box: no sizing border and
    // no maximize box. The outer size includes the frame.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    const DWORD exStyle = definition.alwaysOnTop ? WS_EX_TOPMOST : 0;
    const HWND handle = CreateWindowExW(exStyle, kClassName, widen(definition.title).c_str(), style,
                                        left, top, definition.outerWidth, definition.outerHeight,
                                        nullptr, nullptr, instance(), form);
    if (!handle) {
        const DWORD code = GetLastError();
        delete form;
        report("the window cannot be created: " + systemErrorText(code));
        return nullptr;
    }
    if (!form->createControls(definition)) {
        DestroyWindow(handle); // not registered yet: the form stays ours to delete
        delete form;
        return nullptr;
    }
    SendMessageW(handle, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(applicationIcon(SM_CXICON, SM_CYICON)));
    SendMessageW(handle, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(applicationIcon(SM_CXSMICON, SM_CYSMICON)));
    form->m_registered = true;
    registry().push_back(form);
    return form;
}

bool Form::createControls(const WindowDefinition& definition) {
    int nextId = kFirstControlId;
    for (const ControlDefinition& control : definition.controls) {
        const wchar_t* className = nullptr;
        DWORD style = WS_CHILD;
        HFONT font = m_buttonFont;
        switch (control.kind) {
        case ControlKind::PushButton:
            className = L"BUTTON";
            style |= WS_TABSTOP | (control.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
            break;
        case ControlKind::Label:
            className = L"STATIC";
            // One line, vertically centred. Without SS_NOTIFY a static control is transparent
            // to the mouse, so a press on it reaches the window, which drags.
            style |= SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | (control.dragsWindow ? 0 : SS_NOTIFY);
            if (m_labelFont) {
                font = m_labelFont;
            }
            break;
        case ControlKind::DropDownList:
            className = L"COMBOBOX";
            style |= CBS_DROPDOWNLIST | WS_VSCROLL; // pick only, no text entry, unsorted
            break;
        case ControlKind::FileDialog:
            // Never opened: it only holds its file name.
            m_fileName = control.text;
            continue;
        }
        if (control.shown) {
            style |= WS_VISIBLE;
        }
        if (!control.enabled) {
            style |= WS_DISABLED;
        }
        const HWND handle = CreateWindowExW(
            0, className, widen(control.text).c_str(), style, control.x, control.y, control.width,
            control.height, m_handle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId++)),
            instance(), nullptr);
        if (!handle) {
            report("the window cannot be created: a control cannot be made: " +
                   systemErrorText(GetLastError()));
            return false;
        }
        SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (control.kind == ControlKind::DropDownList) {
            for (const std::string& item : control.items) {
                SendMessageW(handle, CB_ADDSTRING, 0,
                             reinterpret_cast<LPARAM>(widen(item).c_str()));
            }
            SendMessageW(handle, CB_SETCURSEL, control.items.empty() ? -1 : 0, 0);
        }
        if (control.isDefault && control.kind == ControlKind::PushButton) {
            m_defaultButton = handle;
            m_defaultId = control.id;
        }
        m_controls.push_back({control.id, control.kind, handle});
    }
    return true;
}

std::vector<Form*> Form::liveForms() {
    return registry();
}

Form* Form::find(int serial) {
    for (Form* form : registry()) {
        if (form->m_serial == serial) {
            return form;
        }
    }
    return nullptr;
}

const Form::ControlEntry* Form::control(Control id) const {
    for (const ControlEntry& entry : m_controls) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

template <typename Call> void Form::runHandler(Call call) {
    if (m_released || !m_events) {
        return;
    }
    ++m_handlerDepth;
    call(*m_events);
    if (--m_handlerDepth == 0 && !m_handle && m_registered) {
        delete this; // the window went while the handler ran
    }
}

void Form::raiseCreated() {
    runHandler([](WindowEvents& events) { events.created(); });
}

void Form::show() {
    // Showing activates the window; its WM_SETFOCUS hands the focus to the default button.
    ShowWindow(m_handle, SW_SHOW);
    SetForegroundWindow(m_handle);
    UpdateWindow(m_handle);
}

void Form::setAlwaysOnTop(bool on) {
    m_alwaysOnTop = on;
    SetWindowPos(m_handle, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void Form::setEnabled(HWND control, bool enabled) {
    const bool hadFocus = GetFocus() == control;
    EnableWindow(control, enabled ? TRUE : FALSE);
    if (!enabled && hadFocus) {
        // A disabled control takes no keys: give the focus to the next one that does.
        const HWND next = GetNextDlgTabItem(m_handle, control, FALSE);
        SetFocus(next && next != control ? next : m_handle);
    }
}

void Form::focusFirstControl() {
    HWND target = m_lastFocus;
    const auto usable = [this](HWND control) {
        return control && IsChild(m_handle, control) && IsWindowEnabled(control) &&
               (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE);
    };
    if (!usable(target)) {
        target =
            usable(m_defaultButton) ? m_defaultButton : GetNextDlgTabItem(m_handle, nullptr, FALSE);
    }
    if (target) {
        SetFocus(target);
    }
}

void Form::release() {
    if (m_released) {
        return;
    }
    m_released = true;
    m_events = nullptr;
    if (m_handle) {
        DestroyWindow(m_handle); // may delete this
    }
}

void Form::close() {
    // Nothing may refuse the close: the window goes off the screen, the application hears of
    // it while every control still exists, and the window is destroyed afterwards.
    if (m_closing || m_released) {
        return;
    }
    m_closing = true;
    ShowWindow(m_handle, SW_HIDE);
    const int serial = m_serial;
    runHandler([](WindowEvents& events) { events.willBeDestroyed(); });
    // The handler may have released the window already (and with it this form).
    if (Form* self = find(serial)) {
        DestroyWindow(self->m_handle);
    }
}

void Form::windowDestroyed() {
    m_handle = nullptr;
    if (!m_registered) {
        return; // creation failed; create() deletes the form
    }
    auto& forms = registry();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
    if (forms.empty()) {
        PostQuitMessage(0);
    }
    if (m_handlerDepth == 0) {
        delete this;
    }
}

bool Form::handleKey(const MSG& message) {
    if (message.message != WM_KEYDOWN) {
        return false;
    }
    switch (message.wParam) {
    case VK_RETURN: {
        // The default button answers Enter wherever the focus is, as long as it is enabled.
        const bool repeat = (message.lParam & (1L << 30)) != 0;
        if (!repeat && m_defaultButton && IsWindowEnabled(m_handle) &&
            IsWindowEnabled(m_defaultButton)) {
            const Control id = m_defaultId;
            runHandler([id](WindowEvents& events) { events.clicked(id); });
        }
        return true;
    }
    case VK_ESCAPE: // does not close the window
    case VK_F1:     // opens no help
        return true;
    default:
        return false;
    }
}

void Form::dispatch(MSG& message) {
    Form* form = nullptr;
    if (message.hwnd) {
        const HWND root = GetAncestor(message.hwnd, GA_ROOT);
        for (Form* candidate : registry()) {
            if (candidate->m_handle == root) {
                form = candidate;
                break;
            }
        }
    }
    if (form) {
        if (form->handleKey(message)) {
            return;
        }
        // Tab and the arrow keys move the focus among the controls as in a dialog.
        if (IsDialogMessageW(form->m_handle, &message)) {
            return;
        }
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

LRESULT CALLBACK Form::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form =
            static_cast<Form*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->m_handle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // The form may be gone when this returns.
    return form->handleMessage(message, wParam, lParam);
}

LRESULT Form::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(m_handle, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, m_background);
        return 1;
    }
    case WM_CTLCOLORSTATIC: {
        // The label: black on the window's own colour, no box of another shade around it.
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkColor(dc, m_backgroundColour);
        return reinterpret_cast<LRESULT>(m_background);
    }
    case WM_CTLCOLORBTN:
        // What shows around a themed button's rounded corners.
        return reinterpret_cast<LRESULT>(m_background);
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
            const HWND sender = reinterpret_cast<HWND>(lParam);
            for (const ControlEntry& entry : m_controls) {
                if (entry.handle == sender && entry.kind == ControlKind::PushButton) {
                    if (IsWindowEnabled(sender)) {
                        const Control id = entry.id;
                        runHandler([id](WindowEvents& events) { events.clicked(id); });
                    }
                    return 0;
                }
            }
        }
        return 0; // IDOK and IDCANCEL from the dialog manager mean nothing here
    case WM_NCHITTEST: {
        // The client area answers as the title bar does, so a press on the background (or on
        // the label, which lets the mouse through) drags the window.
        const LRESULT hit = DefWindowProcW(m_handle, message, wParam, lParam);
        return hit == HTCLIENT ? HTCAPTION : hit;
    }
    case WM_NCACTIVATE:
        // The title bar stays drawn active while the window takes input; deactivation itself
        // goes ahead (the default handling returns TRUE).
        if (!wParam && IsWindowEnabled(m_handle)) {
            return DefWindowProcW(m_handle, message, TRUE, lParam);
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(m_handle, focus)) {
                m_lastFocus = focus; // given back when the window is active again
            }
        }
        break;
    case WM_SETFOCUS:
        focusFirstControl();
        return 0;
    case WM_HELP:
        return TRUE; // no help to open
    case WM_CLOSE:
        close(); // may delete this
        return 0;
    case WM_NCDESTROY: {
        const LRESULT result = DefWindowProcW(m_handle, message, wParam, lParam);
        SetWindowLongPtrW(m_handle, GWLP_USERDATA, 0);
        windowDestroyed(); // may delete this
        return result;
    }
    default:
        break;
    }
    return DefWindowProcW(m_handle, message, wParam, lParam);
}

} // namespace dd::win32
