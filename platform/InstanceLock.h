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

private:
    struct Holder;
    std::unique_ptr<Holder> m_holder;
};
