// A top-level Qt window built from a WindowDefinition: its controls, keys, dragging, closing,
// and the forwarding of its events to WindowEvents. UI thread only.
#pragma once

#include <QPoint>
#include <QSize>
#include <QWidget>
#include <string>
#include <utility>
#include <vector>

// moc cannot parse the control names, which are not ASCII; it needs none of these types.
#ifndef Q_MOC_RUN
#include "platform/window/window.h"
#include "platform/window/window_definition.h"
#endif

class QPushButton;

namespace dd::qt {

class Form final : public QWidget {
    Q_OBJECT

  public:
    // Builds the window and its controls; raises no event.
    Form(const WindowDefinition& definition, WindowEvents& events);
    ~Form() override;

    // Every form that exists and has not been released, oldest first.
    static std::vector<Form*> liveForms();

    // The widget of a control, this for the window itself; nullptr for a control that has
    // no widget (the file dialog) or that the definition does not hold.
    QWidget* control(Control id) const;

    void raiseCreated();
    // Places the window centred on the primary screen, shows it above the others and
    // activates it.
    void showCentred();

    bool alwaysOnTop() const { return m_alwaysOnTop; }
    void setAlwaysOnTop(bool on);
    const std::string& fileName() const { return m_fileName; }
    void setFileName(std::string name) { m_fileName = std::move(name); }

    // Detaches the application's handlers and destroys the window; from then on no handler
    // runs. Safe to call from inside one of its own handlers.
    void release();
    bool released() const { return m_released; }

  signals:
    // The form is released or destroyed; emitted once.
    void gone();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void addControl(const ControlDefinition& definition, const FontDefinition& labelFont);
    bool handleKey(QKeyEvent* event);
    bool beginDrag(QMouseEvent* event);
    bool continueDrag(QMouseEvent* event);
    bool endDrag(QMouseEvent* event);
    void fitOuterSize();
    void markGone();
    template <typename Call> void runHandler(Call call);

    WindowEvents* m_events = nullptr;
    std::vector<std::pair<Control, QWidget*>> m_controls;
    std::vector<QWidget*> m_dragHandles;
    QPushButton* m_defaultButton = nullptr;
    QSize m_outerSize;
    std::string m_fileName;
    bool m_alwaysOnTop = false;
    // Drag by hand, used when the window system offers no move of its own.
    bool m_dragging = false;
    QPoint m_dragOffset;
    bool m_closing = false;
    bool m_released = false;
    bool m_goneSignalled = false;
    bool m_deleteScheduled = false;
    // How many application handlers of this form are running; while any is, the form is
    // on the stack and may only be deleted later.
    int m_handlerDepth = 0;
};

} // namespace dd::qt
