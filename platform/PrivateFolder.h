#pragma once

#include <QString>

// Folders only their user can open, for what another user must not plant or
// take: the single-copy lock and the socket a second start knocks on.
namespace PrivateFolder {

// The user's own folder, not a link, that only the user may open (mode 0700).
bool IsPrivate(const QString &folder);

// Makes the folder (and its parents) where missing and puts one of the user's
// own back to mode 0700. The folder when it is then private, else empty.
QString Make(const QString &folder);

// Whether a local socket can listen at the path: a socket address holds a
// path of limited length, which a deep folder can exceed.
bool FitsSocketAddress(const QString &path);

} // namespace PrivateFolder
