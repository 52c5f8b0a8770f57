#include "form_window.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>

namespace dd::qt {

namespace {

std::string toUtf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

Form* FormWindow::form() const {
    Form* form = m_form.data();
    return form && !form->released() ? form : nullptr;
}

QWidget* FormWindow::widget(Control id) const {
    Form* form = this->form();
    return form ? form->control(id) : nullptr;
}

std::string FormWindow::title() const {
    Form* form = this->form();
    return form ? toUtf8(form->windowTitle()) : std::string();
}

void FormWindow::setTitle(const std::string& text) {
    if (Form* form = this->form()) {
        form->setWindowTitle(fromUtf8(text));
    }
}

bool FormWindow::alwaysOnTop() const {
    Form* form = this->form();
    return form && form->alwaysOnTop();
}

void FormWindow::setAlwaysOnTop(bool on) {
    if (Form* form = this->form()) {
        form->setAlwaysOnTop(on);
    }
}

std::string FormWindow::caption(Control button) const {
    QWidget* control = widget(button);
    if (auto* pushButton = qobject_cast<QAbstractButton*>(control)) {
        return toUtf8(pushButton->text());
    }
    if (auto* label = qobject_cast<QLabel*>(control)) {
        return toUtf8(label->text());
    }
    return {};
}

void FormWindow::setCaption(Control button, const std::string& text) {
    QWidget* control = widget(button);
    if (auto* pushButton = qobject_cast<QAbstractButton*>(control)) {
        pushButton->setText(fromUtf8(text));
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(fromUtf8(text));
    }
}

bool FormWindow::disabled(Control button) const {
    QWidget* control = widget(button);
    return control && !control->isEnabled();
}

void FormWindow::setDisabled(Control button, bool disabled) {
    if (QWidget* control = widget(button)) {
        control->setEnabled(!disabled);
    }
}

int FormWindow::selectedItem(Control list) const {
    auto* comboBox = qobject_cast<QComboBox*>(widget(list));
    return comboBox ? comboBox->currentIndex() : -1;
}

void FormWindow::setSelectedItem(Control list, int index) {
    if (auto* comboBox = qobject_cast<QComboBox*>(widget(list))) {
        // An index out of range leaves no item selected.
        comboBox->setCurrentIndex(index >= 0 && index < comboBox->count() ? index : -1);
    }
}

std::string FormWindow::fileName() const {
    Form* form = this->form();
    return form ? form->fileName() : std::string();
}

void FormWindow::setFileName(const std::string& name) {
    if (Form* form = this->form()) {
        form->setFileName(name);
    }
}

} // namespace dd::qt
