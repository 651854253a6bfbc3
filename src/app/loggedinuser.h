#pragma once

#include <QString>

// Who is logged on, for the life of the process; only the main window writes it.
struct LoggedInUser {
    bool loggedIn = false;
    QString userName;
};
