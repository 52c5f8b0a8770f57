#include "form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QWindow>
#include <algorithm>

namespace dd::qt {

namespace {

// Every form alive and not released, in creation order.
std::vector<Form*>& registry() {
    static std::vector<Form*> forms;
    return forms;
}

void forget(Form* form) {
    auto& forms = registry();
    forms.erase(std::remove(forms.begin(), forms.end(), form), forms.end());
}

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The first family of the list that is installed; when none is, the whole list, so that the
// font matcher still picks the closest face.
QFont labelFontFor(const FontDefinition& definition) {
    QFont font = QApplication::font();
    QStringList families;
    for (const std::string& family : definition.families) {
        families << fromUtf8(family);
    }
    const auto available =
        std::find_if(families.cbegin(), families.cend(),
                     [](const QString& family) { return QFontDatabase::hasFamily(family); });
    if (available != families.cend()) {
        font.setFamilies({*available});
    } else if (!families.isEmpty()) {
        font.setFamilies(families);
    }
    if (definition.pixelHeight > 0) {
        font.setPixelSize(definition.pixelHeight);
    }
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

constexpr Qt::WindowFlags kFrameFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                        Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                        Qt::WindowCloseButtonHint;

} // namespace

Form::Form(const WindowDefinition& definition, WindowEvents& events)
    : QWidget(nullptr, kFrameFlags), m_events(&events),
      m_outerSize(definition.outerWidth, definition.outerHeight),
      m_alwaysOnTop(definition.alwaysOnTop) {
    registry().push_back(this);
    setWindowFlag(Qt::WindowStaysOnTopHint, definition.alwaysOnTop);
    setWindowTitle(fromUtf8(definition.title));
    if (!QApplication::windowIcon().isNull()) {
        setWindowIcon(QApplication::windowIcon());
    }
    // The frame is not known before the window manager maps the window; until then the
    // client takes the whole outer size, and fitOuterSize() gives the frame its share.
    setFixedSize(m_outerSize);

    QPalette palette = this->palette();
    palette.setColor(
        QPalette::Window,
        QColor(definition.background.red, definition.background.green, definition.background.blue));
    setPalette(palette);
    setAutoFillBackground(true);

    for (const ControlDefinition& control : definition.controls) {
        addControl(control, definition.labelFont);
    }
    installEventFilter(this);
    if (m_defaultButton && m_defaultButton->isEnabled() && m_defaultButton->isVisibleTo(this)) {
        m_defaultButton->setFocus(Qt::OtherFocusReason);
    }
}

Form::~Form() {
    forget(this);
    markGone();
}

std::vector<Form*> Form::liveForms() {
    return registry();
}

void Form::addControl(const ControlDefinition& definition, const FontDefinition& labelFont) {
    QWidget* widget = nullptr;
    switch (definition.kind) {
    case ControlKind::PushButton: {
        auto* button = new QPushButton(fromUtf8(definition.text), this);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setAutoDefault(false);
        if (definition.isDefault) {
            button->setDefault(true);
            m_defaultButton = button;
        }
        const Control id = definition.id;
        connect(button, &QPushButton::clicked, this, [this, button, id] {
            if (button->isEnabled()) {
                runHandler([id](WindowEvents& events) { events.clicked(id); });
            }
        });
        widget = button;
        break;
    }
    case ControlKind::Label: {
        auto* label = new QLabel(fromUtf8(definition.text), this);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(false);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setFrameShape(QFrame::NoFrame);
        label->setFont(labelFontFor(labelFont));
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(palette);
        widget = label;
        break;
    }
    case ControlKind::DropDownList: {
        auto* list = new QComboBox(this);
        list->setEditable(false);
        list->setInsertPolicy(QComboBox::NoInsert);
        for (const std::string& item : definition.items) {
            list->addItem(fromUtf8(item));
        }
        list->setCurrentIndex(list->count() > 0 ? 0 : -1);
        widget = list;
        break;
    }
    case ControlKind::FileDialog:
        // Never opened: it only holds its file name.
        m_fileName = definition.text;
        return;
    }
    widget->setGeometry(definition.x, definition.y, definition.width, definition.height);
    widget->setEnabled(definition.enabled);
    widget->setVisible(definition.shown);
    widget->installEventFilter(this);
    if (definition.dragsWindow) {
        m_dragHandles.push_back(widget);
    }
    m_controls.emplace_back(definition.id, widget);
}

QWidget* Form::control(Control id) const {
    if (id == Control::窗口) {
        return const_cast<Form*>(this);
    }
    for (const auto& [controlId, widget] : m_controls) {
        if (controlId == id) {
            return widget;
        }
    }
    return nullptr;
}

template <typename Call> void Form::runHandler(Call call) {
    if (m_released || !m_events) {
        return;
    }
    ++m_handlerDepth;
    call(*m_events);
    --m_handlerDepth;
}

void Form::raiseCreated() {
    runHandler([](WindowEvents& events) { events.created(); });
}

void Form::showCentred() {
    if (m_released) {
        return;
    }
    // The whole screen, not the work area: the place is computed as on a bare desktop.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        const int left = (area.width() - m_outerSize.width()) / 2;
        const int top = (area.height() - m_outerSize.height()) / 2;
        move(area.x() + left, area.y() + top); // a window's position is that of its frame
    }
    show();
    raise();
    activateWindow();
}

void Form::setAlwaysOnTop(bool on) {
    m_alwaysOnTop = on;
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    if (flags == windowFlags()) {
        return;
    }
    QWindow* handle = windowHandle();
    if (handle && testAttribute(Qt::WA_WState_Created)) {
        // QWidget::setWindowFlags would recreate and hide the native window; changing the
        // flags of the existing one only changes its stacking state.
        overrideWindowFlags(flags);
        handle->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

void Form::release() {
    if (m_released) {
        return;
    }
    m_released = true;
    m_events = nullptr;
    hide();
    forget(this);
    markGone();
    if (m_handlerDepth > 0) {
        // One of our handlers is still on the stack; it must unwind through a live object.
        if (!m_deleteScheduled) {
            m_deleteScheduled = true;
            deleteLater();
        }
    } else {
        delete this;
    }
}

void Form::markGone() {
    if (!m_goneSignalled) {
        m_goneSignalled = true;
        emit gone();
    }
}

bool Form::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        return handleKey(static_cast<QKeyEvent*>(event));
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (watched != this &&
            std::find(m_dragHandles.begin(), m_dragHandles.end(), watched) != m_dragHandles.end()) {
            return beginDrag(static_cast<QMouseEvent*>(event));
        }
        break;
    case QEvent::MouseMove:
        if (watched != this && m_dragging) {
            return continueDrag(static_cast<QMouseEvent*>(event));
        }
        break;
    case QEvent::MouseButtonRelease:
        if (watched != this && m_dragging) {
            return endDrag(static_cast<QMouseEvent*>(event));
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool Form::handleKey(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // The default button answers Enter wherever the focus is, as long as it is enabled.
        if (m_defaultButton && m_defaultButton->isEnabled() && !event->isAutoRepeat()) {
            m_defaultButton->click();
        }
        return true;
    }
    if (key == Qt::Key_Escape || key == Qt::Key_F1) {
        return true; // neither closes the window nor opens help
    }
    return false;
}

void Form::mousePressEvent(QMouseEvent* event) {
    if (!beginDrag(event)) {
        QWidget::mousePressEvent(event);
    }
}

void Form::mouseMoveEvent(QMouseEvent* event) {
    if (!continueDrag(event)) {
        QWidget::mouseMoveEvent(event);
    }
}

void Form::mouseReleaseEvent(QMouseEvent* event) {
    if (!endDrag(event)) {
        QWidget::mouseReleaseEvent(event);
    }
}

bool Form::beginDrag(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return false;
    }
    event->accept();
    QWindow* handle = windowHandle();
    if (handle && handle->startSystemMove()) {
        return true; // the window manager moves it, as a drag of the title bar would
    }
    // No window manager that moves windows for us: follow the pointer ourselves.
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - pos();
    return true;
}

bool Form::continueDrag(QMouseEvent* event) {
    if (!m_dragging) {
        return false;
    }
    if (!(event->buttons() & Qt::LeftButton)) {
        m_dragging = false;
        return false;
    }
    move(event->globalPosition().toPoint() - m_dragOffset);
    event->accept();
    return true;
}

bool Form::endDrag(QMouseEvent* event) {
    if (!m_dragging || event->button() != Qt::LeftButton) {
        return false;
    }
    move(event->globalPosition().toPoint() - m_dragOffset);
    m_dragging = false;
    event->accept();
    return true;
}

void Form::closeEvent(QCloseEvent* event) {
    // Nothing may refuse the close: the window goes off the screen, the application hears of
    // it while every control still exists, and the window is destroyed afterwards.
    event->accept();
    if (m_closing || m_released) {
        return;
    }
    m_closing = true;
    hide();
    runHandler([](WindowEvents& events) { events.willBeDestroyed(); });
    if (!m_deleteScheduled) {
        m_deleteScheduled = true;
        deleteLater();
    }
}

void Form::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    fitOuterSize();
}

void Form::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    fitOuterSize();
}

void Form::fitOuterSize() {
    const QWindow* handle = windowHandle();
    if (!handle || !isVisible()) {
        return;
    }
    // The outer size includes the frame the window manager draws; whatever it takes comes
    // off the client area. With no window manager there is no frame.
    const QMargins frame = handle->frameMargins();
    const QSize client(m_outerSize.width() - frame.left() - frame.right(),
                       m_outerSize.height() - frame.top() - frame.bottom());
    if (!client.isEmpty() && client != size()) {
        setFixedSize(client);
    }
}

} // namespace dd::qt
