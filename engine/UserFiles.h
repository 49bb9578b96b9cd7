#pragma once

#include <QString>

// Where the user's files live: Alarms.dat beside the program or in the
// per-user data folder, and all the rest of the user's in that folder.
namespace UserFiles {

// Where Alarms.dat, the missed lines, the identities and the snoozes live, as
// the clock picks them.
void SetUpFiles();
// A file of the user's beside those, in the per-user data folder.
QString UserFile(const QString &name);

} // namespace UserFiles
