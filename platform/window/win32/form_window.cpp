#include "form_window.h"

#include "win32_text.h"

namespace dd::win32 {

namespace {

std::string windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return narrow(text);
}

} // namespace

HWND FormWindow::control(Control id, ControlKind kind) const {
    const Form* form = this->form();
    const Form::ControlEntry* entry = form ? form->control(id) : nullptr;
    return entry && entry->kind == kind ? entry->handle : nullptr;
}

std::string FormWindow::title() const {
    const Form* form = this->form();
    return form ? windowText(form->handle()) : std::string();
}

void FormWindow::setTitle(const std::string& text) {
    if (const Form* form = this->form()) {
        SetWindowTextW(form->handle(), widen(text).c_str());
    }
}

bool FormWindow::alwaysOnTop() const {
    const Form* form = this->form();
    return form && form->alwaysOnTop();
}

void FormWindow::setAlwaysOnTop(bool on) {
    if (Form* form = this->form()) {
        form->setAlwaysOnTop(on);
    }
}

// Buttons have a caption; so does the label, which nothing changes.
std::string FormWindow::caption(Control button) const {
    HWND handle = control(button, ControlKind::PushButton);
    if (!handle) {
        handle = control(button, ControlKind::Label);
    }
    return handle ? windowText(handle) : std::string();
}

void FormWindow::setCaption(Control button, const std::string& text) {
    HWND handle = control(button, ControlKind::PushButton);
    if (!handle) {
        handle = control(button, ControlKind::Label);
    }
    if (handle) {
        SetWindowTextW(handle, widen(text).c_str());
    }
}

bool FormWindow::disabled(Control button) const {
    const Form* form = this->form();
    const Form::ControlEntry* entry = form ? form->control(button) : nullptr;
    return entry && !IsWindowEnabled(entry->handle);
}

void FormWindow::setDisabled(Control button, bool disabled) {
    Form* form = this->form();
    if (const Form::ControlEntry* entry = form ? form->control(button) : nullptr) {
        form->setEnabled(entry->handle, !disabled);
    }
}

int FormWindow::selectedItem(Control list) const {
    const HWND handle = control(list, ControlKind::DropDownList);
    if (!handle) {
        return -1;
    }
    const LRESULT index = SendMessageW(handle, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void FormWindow::setSelectedItem(Control list, int index) {
    if (const HWND handle = control(list, ControlKind::DropDownList)) {
        // An index out of range leaves no item selected.
        const LRESULT count = SendMessageW(handle, CB_GETCOUNT, 0, 0);
        SendMessageW(handle, CB_SETCURSEL, index >= 0 && index < count ? index : -1, 0);
    }
}

std::string FormWindow::fileName() const {
    const Form* form = this->form();
    return form ? form->fileName() : std::string();
}

void FormWindow::setFileName(const std::string& name) {
    if (Form* form = this->form()) {
        form->setFileName(name);
    }
}

} // namespace dd::win32
