#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include <QWidget>

namespace kr {

class Form;

// Knows which windows are loaded and ends the event loop when the last one is
// unloaded. A hidden window that is loaded counts as open.
class FormRegistry {
public:
    static FormRegistry& instance();

    void noteLoaded(Form* form);
    void noteUnloaded(Form* form);
    int loadedCount() const { return static_cast<int>(m_loaded.size()); }
    // The window activated last moves to the front of the program's windows.
    void noteActivated(Form* form);
    // The shown window in front of the others, one that is not minimised
    // when there is one; nullptr when no window is shown.
    Form* frontmost() const;

    // Runs when the last loaded window has been unloaded. By default it quits
    // the application's event loop; tests install their own.
    void setOnLastUnloaded(std::function<void()> action) { m_onLastUnloaded = std::move(action); }

private:
    // In the order of loading, each window moved to the end when activated.
    std::vector<Form*> m_loaded;
    std::function<void()> m_onLastUnloaded;
};

// One object per window kind. The object and its variables live for the whole
// run; the widget is created (controls in their design state) by Load and
// destroyed by Unload.
class Form : public QObject {
    Q_OBJECT
public:
    explicit Form(QObject* parent = nullptr);
    ~Form() override;

    bool isLoaded() const { return m_widget != nullptr; }
    // Loads the window when needed, without showing it.
    void Load();
    // Loads when needed, then shows (not modal) and raises.
    void Show();
    void Hide();
    // Runs the unload handling and destroys the widget; nothing for an unloaded window.
    void Unload();

    // The window's widget; touching it loads the window.
    QWidget* widget();
    // The widget while the window is loaded, else nullptr; loads nothing.
    QWidget* loadedWidget() const { return m_widget; }

signals:
    void loaded();
    void unloaded();

protected:
    // Builds the widget with its controls in their design state.
    virtual std::unique_ptr<QWidget> createWidget() = 0;
    // Load and unload handlers of the window kind.
    virtual void onLoad() {}
    virtual void onUnload() {}
    // Called after the widget is gone, to drop pointers to its controls.
    virtual void onDestroyed() {}

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_widget;
    bool m_loading = false;
    bool m_unloading = false;
};

// A window kind whose controls live in one struct (Controls, pointers only):
// createWidget fills it, and it is emptied here, in one place, when the window
// unloads.
template <typename Controls> class FormOf : public Form {
public:
    using Form::Form;

protected:
    void onDestroyed() override { m_ui = Controls{}; }

    Controls m_ui;
};

} // namespace kr
