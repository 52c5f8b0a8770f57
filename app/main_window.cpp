#include "main_window.h"

namespace dd {

const WindowDefinition& mainWindowDefinition() {
    static const WindowDefinition definition = [] {
        WindowDefinition w;
        w.title = "咚咚鸟录音工具";
        w.outerWidth = 268;
        w.outerHeight = 92;
        w.background = {255, 168, 255};
        w.alwaysOnTop = true;
        // 宋体 where it is installed, else a Song/Ming-style face that Debian ships.
        w.labelFont = {{"SimSun", "宋体", "AR PL UMing CN", "AR PL UMing TW", "AR PL SungtiL GB"},
                       16};
        using K = ControlKind;
        w.controls = {
            {Control::录音按钮, K::PushButton, 3, 5, 80, 26, "录音", {}, true, true, true, false},
            {Control::优化配置按钮,
             K::PushButton,
             91,
             5,
             80,
             26,
             "停止回放",
             {},
             true,
             true,
             false,
             false},
            {Control::回放按钮,
             K::PushButton,
             179,
             5,
             80,
             26,
             "回放录音",
             {},
             true,
             false,
             false,
             false},
            {Control::标签1,
             K::Label,
             55,
             36,
             144,
             24,
             "dongdong.example",
             {},
             true,
             true,
             false,
             true},
            {Control::线路数组合框,
             K::DropDownList,
             64,
             9,
             100,
             20,
             "",
             {"单声道", "立体音"},
             false,
             true,
             false,
             false},
            {Control::采样率组合框,
             K::DropDownList,
             64,
             34,
             100,
             20,
             "",
             {"8000HZ", "11025HZ", "22050HZ", "44100HZ"},
             false,
             true,
             false,
             false},
            {Control::采样大小组合框,
             K::DropDownList,
             64,
             59,
             100,
             20,
             "",
             {"8位", "16位"},
             false,
             true,
             false,
             false},
            {Control::对话框, K::FileDialog, 0, 0, 0, 0, "", {}, false, true, false, false},
        };
        return w;
    }();
    return definition;
}

} // namespace dd
