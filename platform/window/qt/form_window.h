// Property access to the controls of one Form, as the application sees it through Window.
// UI thread only; every call does nothing, or reads empty, while no live form is attached.
#pragma once

#include <QPointer>

#include "form.h"
#include "platform/window/window.h"

namespace dd::qt {

class FormWindow final : public Window {
  public:
    void attach(Form* form) { m_form = form; }

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
    Form* form() const;
    QWidget* widget(Control id) const;

    QPointer<Form> m_form;
};

} // namespace dd::qt
