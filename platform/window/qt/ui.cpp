// The event-loop services of the Qt window layer: message box, the wait that dispatches
// events, and the release of every window. UI thread only.
#include "platform/window/ui.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "application.h"
#include "form.h"

namespace dd {

namespace {

// The style bits are those of the Windows message box: the low four choose the buttons,
// the next four the icon. The result is the Windows id of the button pressed.
enum WindowsButtonId {
    IdOk = 1,
    IdCancel = 2,
    IdAbort = 3,
    IdRetry = 4,
    IdIgnore = 5,
    IdYes = 6,
    IdNo = 7
};

struct ButtonChoice {
    QMessageBox::StandardButton button;
    int id;
};

std::vector<ButtonChoice> buttonsFor(int style) {
    switch (style & 0x0F) {
    case 1:
        return {{QMessageBox::Ok, IdOk}, {QMessageBox::Cancel, IdCancel}};
    case 2:
        return {{QMessageBox::Abort, IdAbort},
                {QMessageBox::Retry, IdRetry},
                {QMessageBox::Ignore, IdIgnore}};
    case 3:
        return {
            {QMessageBox::Yes, IdYes}, {QMessageBox::No, IdNo}, {QMessageBox::Cancel, IdCancel}};
    case 4:
        return {{QMessageBox::Yes, IdYes}, {QMessageBox::No, IdNo}};
    case 5:
        return {{QMessageBox::Retry, IdRetry}, {QMessageBox::Cancel, IdCancel}};
    default:
        return {{QMessageBox::Ok, IdOk}};
    }
}

QMessageBox::Icon iconFor(int style) {
    switch (style & 0xF0) {
    case 0x10:
        return QMessageBox::Critical;
    case 0x20:
        return QMessageBox::Question;
    case 0x30:
        return QMessageBox::Warning;
    case 0x40:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

int showMessageBox(const std::string& text, int style, const std::string& title) {
    qt::ensureApplication();
    QMessageBox box(iconFor(style),
                    QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::NoButton, nullptr);
    box.setWindowModality(Qt::ApplicationModal);
    const std::vector<ButtonChoice> choices = buttonsFor(style);
    for (const ButtonChoice& choice : choices) {
        box.addButton(choice.button);
    }
    box.setDefaultButton(choices.front().button);
    // Shown and waited for like waitProcessingEvents, not with exec(): a quit requested
    // earlier would make exec() return at once and take the box away unseen.
    bool finished = false;
    QObject::connect(&box, &QDialog::finished, [&finished] { finished = true; });
    box.show();
    while (!finished) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    // Closing the box by its close box or Esc counts as its cancel button, or OK when it has
    // only that one; exec() then reports the escape button.
    const auto* pressed = box.clickedButton();
    for (const ButtonChoice& choice : choices) {
        if (pressed && pressed == box.button(choice.button)) {
            return choice.id;
        }
    }
    return choices.size() == 1 ? choices.front().id : IdCancel;
}

void waitProcessingEvents(int ms) {
    if (ms <= 0) {
        return;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    if (!QCoreApplication::instance()) {
        std::this_thread::sleep_until(deadline); // no window, so no event to dispatch
        return;
    }
    // A timer set to the deadline wakes the blocking dispatch when no event comes first.
    // processEvents() instead of a nested QEventLoop: QCoreApplication::quit() ends every
    // running loop, and a quit request must not end this wait early.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (Clock::time_point now = Clock::now(); now <= deadline; now = Clock::now()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        wake.start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 1)));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

void releaseWindows() {
    for (qt::Form* form : qt::Form::liveForms()) {
        form->release();
    }
}

} // namespace dd
