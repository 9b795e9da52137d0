#pragma once
#include <QString>

#include <utility>

namespace kr {

class IDatabaseEngine;
class IMessageBox;

// Makes the program folder at a start of the program installed system-wide:
// the folder (0700, with its missing parents) and what it must hold and does
// not hold yet, an empty vault (0600) and the icon that the toolbar button
// names (a copy of iconSource). Nothing that exists is changed. Returns false
// when something could not be made; the program then reports it where it
// uses that file.
bool PrepareProgramFolder(const QString& folder, IDatabaseEngine& engine, const QString& iconSource);

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
