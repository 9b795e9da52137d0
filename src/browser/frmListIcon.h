#pragma once
#include "platform/Platform.h"
#include "platform/Registry.h"
#include "ui/Form.h"

#include <QPointer>
#include <functional>

class QTreeWidget;

namespace kr {

// Program-wide: 1 once a scan of the manager window has found this program's
// own toolbar button. Only the parameters save sets it back to 0, right after
// it had the button removed.
inline qint16 IEButtonPresent = 0;

// The controls of the toolbar manager, by their names.
struct ListIconControls {
    QPointer<QTreeWidget> list;
};

// "Icon IE": the toolbar buttons registered for the current user, one row per
// button, this program's own ones ticked. The parameters save shows it (its
// load scans), has the ticked buttons removed or a new one registered, and
// unloads it again; the window offers no command of its own.
class frmListIcon final : public FormOf<ListIconControls> {
    Q_OBJECT
public:
    // Column order of the list.
    enum Column { ColX, ColExtension, ColClsid, ColIcone, ColCaption, ColCle, ColKkey, ColumnCount };

    // mainWindow: the main window's widget, nullptr when it is not loaded.
    // keepMainOnTop: whether the main window's box "Visible" is ticked.
    frmListIcon(Platform& platform, std::function<QWidget*()> mainWindow, std::function<bool()> keepMainOnTop,
                QObject* parent = nullptr);

    // Fills the list with the buttons under path (a key of root).
    void ListProgzIE(RegKey root, const QString& path);
    // RegOk when the last scan could read the registry (a missing parent key
    // included: no button then), else why it could not.
    long scanStatus() const { return m_scanStatus; }
    // Deletes the key of every ticked row. Rows stay; returns RegOk or the
    // first failure.
    long DeliteProgzIE();

    // The list ("ListView"); touching it loads the window.
    QTreeWidget* ListView();

protected:
    std::unique_ptr<QWidget> createWidget() override;
    void onLoad() override;
    void onUnload() override;

private:
    Platform& m_platform;
    std::function<QWidget*()> m_mainWindow;
    std::function<bool()> m_keepMainOnTop;
    long m_scanStatus = RegOk;
};

} // namespace kr
