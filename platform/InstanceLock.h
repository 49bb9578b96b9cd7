#pragma once

#include <QString>
#include <memory>

// The lock that keeps one copy of the program per user. Where the kernel can
// hold it (flock), it is let go of however its holder ends, so what the file
// says (a process number, or nothing after a power cut) never decides who
// holds it: a lock no live process holds is taken over, a held one never.
class InstanceLock
{
public:
    enum class Take { Taken, Held, Unusable };

    InstanceLock();
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Unusable, with the reason in why, for a path no lock can be kept at: a
    // folder, a link, another user's file.
    Take TryTake(const QString &path, QString *why);

    // Whether a live process holds the lock at path, without taking it (a
    // missing file, or one that is not a plain file of this user's, is held
    // by no one). Looking holds it shared for an instant, so a holder taking
    // it may find it held that instant and try again.
    static bool IsHeld(const QString &path);

private:
    struct Holder;
    std::unique_ptr<Holder> m_holder;
};
