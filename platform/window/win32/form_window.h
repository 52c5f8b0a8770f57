// Property access to the controls of one Form, as the application sees it through Window.
// UI thread only; every call does nothing, or reads empty, while no live form is attached.
#pragma once

#include <windows.h>

#include "form.h"
#include "platform/window/window.h"

namespace dd::win32 {

class FormWindow final : public Window {
  public:
    void attach(int formSerial) { m_serial = formSerial; }

    std::string title() const override;
    void setTitle(const std::string& text) override;
    bool alwaysOnTop() const override;
    void setAlwaysOnTop(bool on) override;
    std::string caption(Control button) const override;
    void setCaption(Control button, const std::string& text) override;
    bool disabled(Control button) const override;
    void setDisabled(Control button, bool disabled) override;
    int selectedItem(Control list) const override;
    void setSelectedItem(Control list, int index) override;
    std::string fileName() const override;
    void setFileName(const std::string& name) override;

  private:
    // Looked up at every call: the form goes away with its window.
    Form* form() const { return Form::find(m_serial); }
    // The window handle of a control of the given kind; nullptr when there is none.
    HWND control(Control id, ControlKind kind) const;

    int m_serial = 0;
};

} // namespace dd::win32
