#include "application.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QIcon>
#include <cstdio>
#include <cstdlib>

namespace dd::qt {

namespace {

QtMessageHandler g_previousHandler = nullptr;

void endOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        // _Exit, not exit: the window never came up, so neither the application's exit
        // routine nor any static destructor may run.
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        std::fflush(stderr);
        std::_Exit(255);
    }
    if (g_previousHandler) {
        g_previousHandler(type, context, message);
    }
}

} // namespace

void preferXcbUnderWayland() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb"));
    }
}

void ensureApplication() {
    if (QApplication::instance()) {
        return;
    }
    // QApplication keeps references to both for its whole life.
    static int argc = 1;
    static char name[] = "dongdong-recorder";
    static char* argv[] = {name, nullptr};
    preferXcbUnderWayland();
    new QApplication(argc, argv); // lives until the process ends, never deleted
    QGuiApplication::setDesktopFileName(QStringLiteral("dongdong-recorder"));
    // Windows end the program through the window layer's own loop, not through Qt's.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // The application's icon, large and small, when the executable carries it.
    QIcon icon;
    for (const char* name : {"dongdong-recorder.png", "dongdong-recorder-48.png",
                             "dongdong-recorder-32.png", "dongdong-recorder-16.png"}) {
        const QString path = QStringLiteral(":/icons/") + QLatin1String(name);
        if (QFile::exists(path)) {
            icon.addFile(path);
        }
    }
    if (!icon.isNull()) {
        QApplication::setWindowIcon(icon);
    }
}

FatalErrorsEndProcess::FatalErrorsEndProcess() {
    m_previous = qInstallMessageHandler(endOnFatal);
    g_previousHandler = m_previous;
}

FatalErrorsEndProcess::~FatalErrorsEndProcess() {
    qInstallMessageHandler(m_previous);
    g_previousHandler = nullptr;
}

} // namespace dd::qt
