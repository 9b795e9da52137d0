#pragma once
#include <QString>

#include <utility>

namespace kr {

class IMessageBox;

// The program folder (AppDir), where the program saves its database, its
// settings and its log. A folder that takes no file (a read-only mount, a
// folder of another user) is told to the user once a run, by the first action
// that would save there, before whatever then fails.
class ProgramFolder {
public:
    explicit ProgramFolder(QString folder) : m_folder(std::move(folder)) {}

    // Whether a new file can be made there: a probe file is made and removed at once.
    bool writable() const;
    // Tells the user (style 48) when the folder cannot be written and this run
    // has not told it yet. Returns whether the folder can be written.
    bool checkWritable(IMessageBox& messages);
    QString readOnlyMessage() const;
    static QString readOnlyTitle();

private:
    QString m_folder;
    bool m_told = false;
};

} // namespace kr
