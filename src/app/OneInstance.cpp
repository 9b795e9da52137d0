#include "app/OneInstance.h"

#include "app/Application.h"
#include "common/TextFiles.h"

#include <QApplication>
#include <QWidget>

namespace kr {

QWidget* CurrentWindow(KeyroviaApp& app)
{
    // A message box waiting for an answer stays above its window.
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (app.gate().isLoaded())
        return app.gate().widget();
    // The window in front of the others: the tutorial over the minimised main
    // window stays in front, and the main window stays minimised under it.
    if (Form* front = FormRegistry::instance().frontmost())
        return front->widget();
    if (app.mainWindow().isLoaded())
        return app.mainWindow().widget();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible())
            return window;
    }
    return nullptr;
}

bool ClaimProgramFolder(ISingleInstance& instance, KeyroviaApp& app)
{
    return instance.claim(AppDir(), [&app] { return CurrentWindow(app); });
}

} // namespace kr
