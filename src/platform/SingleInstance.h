#pragma once
// One running program per program folder.
#include <QString>
#include <functional>

class QWidget;

namespace kr {

class ISingleInstance {
public:
    // The running program's window to bring to the front for a later start of
    // its folder; nullptr when it has nothing left to show (it is ending), so
    // that the later start runs in its place. A hidden window stays hidden.
    using CurrentWindow = std::function<QWidget*()>;

    virtual ~ISingleInstance() = default;
    // True when this start is now the folder's one running program (later
    // starts bring currentWindow() to the front); false when a running
    // program of the same folder has brought its window to the front, and
    // this start should end.
    virtual bool claim(const QString& programDir, CurrentWindow currentWindow) = 0;
};

} // namespace kr
