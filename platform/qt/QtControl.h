#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <string>

namespace platform::qt {

/// What every wrapped control answers, whatever its kind: the widget it wraps.
class QtWidgetHolder {
public:
    virtual ~QtWidgetHolder() = default;
    /// The wrapped widget; null once it is gone.
    virtual QWidget* nativeWidget() const = 0;
};

/// Shared state of every control that wraps a widget: the name, taken when wrapped, and the
/// enabled and hidden flags, which are the widget's. Once the widget is gone the control is
/// inert: disabled and hidden.
template <class Base, class W = QWidget>
class QtControl : public Base, public QtWidgetHolder {
public:
    explicit QtControl(W* widget) : m_widget(widget), m_name(widget->objectName().toStdString()) {}

    QWidget* nativeWidget() const override { return m_widget.data(); }

    std::string objectName() const override { return m_name; }
    void setEnabled(bool enabled) override
    {
        if (m_widget) {
            m_widget->setEnabled(enabled);
        }
    }
    bool isEnabled() const override { return m_widget && m_widget->isEnabled(); }
    void setHidden(bool hidden) override
    {
        if (m_widget) {
            m_widget->setHidden(hidden);
        }
    }
    bool isHidden() const override { return !m_widget || m_widget->isHidden(); }

    W* widget() const { return m_widget.data(); }

protected:
    QPointer<W> m_widget;
    /// The receiver of this control's connections, so that they end with the control.
    QObject m_context;

private:
    std::string m_name;
};

}  // namespace platform::qt
