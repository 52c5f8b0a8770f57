// bench_qt_minimal: the least a Qt 6 Widgets program does to show a window of the recorder's
// size; the yardstick for the recorder's start-up. With --captions it also shows three buttons
// captioned as the recorder's are, so that the cost of bringing up text (the font
// configuration and a CJK font) can be told apart from the rest.
#include <QApplication>
#include <QPushButton>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle("bench minimal window");
    window.resize(268, 92);
    if (argc > 1 && std::strcmp(argv[1], "--captions") == 0) {
        const char* captions[] = {"录音", "停止回放", "回放录音"};
        for (int i = 0; i < 3; ++i) {
            auto* button = new QPushButton(QString::fromUtf8(captions[i]), &window);
            button->setGeometry(4 + 88 * i, 4, 84, 28);
        }
    }
    window.show();
    return application.exec();
}
