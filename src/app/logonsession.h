#pragma once

#include <QtGlobal>

// Which log-on the OSD is in. A log-off ends it, and work started under it may
// then no longer show anything or act: a result that comes back later belongs
// to a user who has gone.
class LogonSession {
public:
    // Taken when work starts; tells later whether its log-on still lasts.
    class Ticket {
    public:
        Ticket() = default;
        bool current() const { return session && issued == session->generation; }

    private:
        friend class LogonSession;
        Ticket(const LogonSession* session, quint64 issued)
            : session(session)
            , issued(issued)
        {
        }
        const LogonSession* session = nullptr;
        quint64 issued = 0;
    };

    Ticket ticket() const { return Ticket(this, generation); }
    void end() { ++generation; }

private:
    quint64 generation = 0;
};
