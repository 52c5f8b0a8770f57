// The Qt window host: builds the one Form, raises created, shows it and runs the loop until
// the last form is gone. UI thread only.
#include <QApplication>
#include <QPointer>
#include <cstdio>

#include "application.h"
#include "form.h"
#include "form_window.h"
#include "platform/window/window.h"
#include "session_end.h"

namespace dd {

namespace {

class QtWindowHost final : public WindowHost {
  public:
    Window& window() override { return m_window; }

    bool load(const WindowDefinition& definition, WindowEvents& events) override {
        if (m_loaded) {
            std::fputs("The window is already loaded; a process has one.\n", stderr);
            return false;
        }
        m_loaded = true;
        {
            // Only while the window comes up: a display that cannot be reached ends the
            // process with exit code 255 before anything else runs.
            qt::FatalErrorsEndProcess fatalGuard;
            qt::ensureApplication();
            m_form = new qt::Form(definition, events);
        }
        qt::closeWindowsOnTerminationSignals();
        m_window.attach(m_form);
        m_form->raiseCreated();
        // The created handler may have ended the program and released the window.
        if (m_form && !m_form->released()) {
            m_form->showCentred();
        }
        return true;
    }

    void runMessageLoop() override {
        if (qt::Form::liveForms().empty()) {
            return;
        }
        // The loop ends when the last form is gone, not on Qt's last-window-closed rule.
        QObject context; // ends the connections below when the loop returns
        for (qt::Form* form : qt::Form::liveForms()) {
            QObject::connect(form, &qt::Form::gone, &context, [] {
                if (qt::Form::liveForms().empty()) {
                    QCoreApplication::exit(0);
                }
            });
        }
        // QApplication::exec() rather than a QEventLoop of our own: only it clears the
        // "quit now" state that any quit() leaves behind, which would end every later loop at
        // once. A quit from elsewhere while a window exists just starts the loop again.
        while (!qt::Form::liveForms().empty()) {
            QApplication::exec();
        }
    }

  private:
    qt::FormWindow m_window;
    QPointer<qt::Form> m_form;
    bool m_loaded = false;
};

} // namespace

std::unique_ptr<WindowHost> makeWindowHost() {
    return std::make_unique<QtWindowHost>();
}

} // namespace dd
