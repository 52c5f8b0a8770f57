// A toolkit-neutral description of a window and its controls; the window layer builds the real
// window from it. Plain data, no threads.
#pragma once

#include <string>
#include <vector>

namespace dd {

// Every control of the main window, the window itself included.
enum class Control {
    窗口,
    录音按钮,
    优化配置按钮,
    回放按钮,
    标签1,
    线路数组合框,
    采样率组合框,
    采样大小组合框,
    对话框,
};

enum class ControlKind { PushButton, Label, DropDownList, FileDialog };

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
};

struct ControlDefinition {
    Control id = Control::窗口;
    ControlKind kind = ControlKind::PushButton;
    int x = 0; // place and size within the client area, in pixels
    int y = 0;
    int width = 0;
    int height = 0;
    std::string text;               // caption of a button, text of a label
    std::vector<std::string> items; // items of a drop-down list, in order, unsorted
    bool shown = true;
    bool enabled = true;
    bool isDefault = false;   // the window's default push button
    bool dragsWindow = false; // pressing the left button on it moves the window
};

struct FontDefinition {
    std::vector<std::string> families; // first available wins
    int pixelHeight = 0;
};

struct WindowDefinition {
    std::string title;
    int outerWidth = 0; // frame and title bar included
    int outerHeight = 0;
    Rgb background;
    bool alwaysOnTop = false;
    FontDefinition labelFont;
    std::vector<ControlDefinition> controls;
};

} // namespace dd
