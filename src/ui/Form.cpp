#include "ui/Form.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace kr {
namespace {

// Enter on a focused command button presses it, as Space does; Qt leaves that
// to the default button of a dialog only.
class EnterPressesButton final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        auto* button = qobject_cast<QPushButton*>(watched);
        if (!enter || !button || (key->modifiers() & ~Qt::KeypadModifier))
            return false;
        if (!key->isAutoRepeat() && button->isEnabled())
            button->click();
        return true;
    }
};

} // namespace

FormRegistry& FormRegistry::instance()
{
    static FormRegistry registry;
    return registry;
}

void FormRegistry::noteLoaded(Form* form)
{
    if (std::find(m_loaded.begin(), m_loaded.end(), form) == m_loaded.end())
        m_loaded.push_back(form);
}

void FormRegistry::noteUnloaded(Form* form)
{
    const auto it = std::find(m_loaded.begin(), m_loaded.end(), form);
    if (it == m_loaded.end())
        return;
    m_loaded.erase(it);
    if (!m_loaded.empty())
        return;
    if (m_onLastUnloaded) {
        m_onLastUnloaded();
    } else {
        // Let the handler that unloaded the window finish first.
        QTimer::singleShot(0, qApp, [] {
            if (FormRegistry::instance().loadedCount() == 0)
                QCoreApplication::exit(0);
        });
    }
}

void FormRegistry::noteActivated(Form* form)
{
    const auto it = std::find(m_loaded.begin(), m_loaded.end(), form);
    if (it != m_loaded.end())
        std::rotate(it, it + 1, m_loaded.end());
}

Form* FormRegistry::frontmost() const
{
    // A window left minimised (the main window under the tutorial) counts
    // only when every shown window is.
    for (const bool minimisedToo : {false, true}) {
        for (auto it = m_loaded.rbegin(); it != m_loaded.rend(); ++it) {
            const QWidget* w = (*it)->loadedWidget();
            if (w && w->isVisible() && (minimisedToo || !w->isMinimized()))
                return *it;
        }
    }
    return nullptr;
}

Form::Form(QObject* parent) : QObject(parent) {}

Form::~Form()
{
    FormRegistry::instance().noteUnloaded(this);
    delete m_widget.data();
}

void Form::Load()
{
    if (m_widget || m_loading)
        return;
    m_loading = true;
    std::unique_ptr<QWidget> created = createWidget();
    m_widget = created.release();
    m_widget->setAttribute(Qt::WA_DeleteOnClose, false);
    m_widget->setAttribute(Qt::WA_QuitOnClose, false);
    if (m_widget->minimumSize() == m_widget->maximumSize()) {
        // A window of one size offers no maximise button. Set before the
        // native window exists, so it is never made again for it.
        m_widget->setWindowFlags((m_widget->windowFlags() & ~Qt::WindowMaximizeButtonHint) | Qt::Window |
                                 Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    }
    m_widget->installEventFilter(this);
    auto* enterFilter = new EnterPressesButton(m_widget);
    for (QPushButton* button : m_widget->findChildren<QPushButton*>())
        button->installEventFilter(enterFilter);
    FormRegistry::instance().noteLoaded(this);
    onLoad();
    m_loading = false;
    emit loaded();
}

void Form::Show()
{
    Load();
    if (!m_widget)
        return;
    m_widget->show();
    m_widget->raise();
    m_widget->activateWindow();
}

void Form::Hide()
{
    if (m_widget)
        m_widget->hide();
}

QWidget* Form::widget()
{
    Load();
    return m_widget;
}

void Form::Unload()
{
    if (!m_widget || m_unloading)
        return;
    m_unloading = true;
    onUnload();
    QWidget* w = m_widget;
    m_widget = nullptr;
    w->removeEventFilter(this);
    w->hide();
    // The unload may come from inside one of the window's own handlers: the
    // widget goes away once that handler has returned.
    w->deleteLater();
    onDestroyed();
    m_unloading = false;
    emit unloaded();
    FormRegistry::instance().noteUnloaded(this);
}

bool Form::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_widget && event->type() == QEvent::WindowActivate)
        FormRegistry::instance().noteActivated(this);
    if (watched == m_widget && event->type() == QEvent::Close) {
        // Closing a window from its title bar unloads it.
        event->ignore();
        Unload();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kr
