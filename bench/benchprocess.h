#pragma once
// Shared by the benchmarks that time whole processes: starting and ending
// children, and a private virtual X server (Xvfb) whose root window shows,
// from outside and with nothing added to the product, when a child maps its
// first top-level window.

#include "benchutil.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QVector>

#include <xcb/xcb.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace bench {

constexpr int childTimeoutMs = 30000;

// --- libxcb, loaded at run time ------------------------------------------
// The benchmark programs link only Qt and our libraries; the few X calls
// needed to watch a display come from the system's libxcb when it is there.

struct Xcb {
    decltype(&xcb_connect) connect = nullptr;
    decltype(&xcb_connection_has_error) hasError = nullptr;
    decltype(&xcb_disconnect) disconnect = nullptr;
    decltype(&xcb_get_setup) getSetup = nullptr;
    decltype(&xcb_setup_roots_iterator) rootsIterator = nullptr;
    decltype(&xcb_change_window_attributes_checked) changeAttributes = nullptr;
    decltype(&xcb_request_check) requestCheck = nullptr;
    decltype(&xcb_get_file_descriptor) fileDescriptor = nullptr;
    decltype(&xcb_poll_for_event) pollForEvent = nullptr;
    decltype(&xcb_intern_atom) internAtom = nullptr;
    decltype(&xcb_intern_atom_reply) internAtomReply = nullptr;
    decltype(&xcb_get_property) getProperty = nullptr;
    decltype(&xcb_get_property_reply) getPropertyReply = nullptr;
    decltype(&xcb_get_property_value) propertyValue = nullptr;
    decltype(&xcb_get_property_value_length) propertyValueLength = nullptr;

    bool load()
    {
        void* library = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return false;
        const auto bind = [library](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
            return function != nullptr;
        };
        return bind(connect, "xcb_connect") && bind(hasError, "xcb_connection_has_error")
            && bind(disconnect, "xcb_disconnect") && bind(getSetup, "xcb_get_setup")
            && bind(rootsIterator, "xcb_setup_roots_iterator")
            && bind(changeAttributes, "xcb_change_window_attributes_checked")
            && bind(requestCheck, "xcb_request_check") && bind(fileDescriptor, "xcb_get_file_descriptor")
            && bind(pollForEvent, "xcb_poll_for_event") && bind(internAtom, "xcb_intern_atom")
            && bind(internAtomReply, "xcb_intern_atom_reply") && bind(getProperty, "xcb_get_property")
            && bind(getPropertyReply, "xcb_get_property_reply")
            && bind(propertyValue, "xcb_get_property_value")
            && bind(propertyValueLength, "xcb_get_property_value_length");
    }
};

// --- child processes ------------------------------------------------------

// The environment as a NULL-terminated array for posix_spawn.
class Environment {
public:
    explicit Environment(const QProcessEnvironment& environment)
    {
        for (const QString& entry : environment.toStringList())
            texts.push_back(QFile::encodeName(entry));
        for (const QByteArray& text : texts)
            pointers.push_back(const_cast<char*>(text.constData()));
        pointers.push_back(nullptr);
    }
    char** data() { return pointers.data(); }

private:
    std::vector<QByteArray> texts;
    std::vector<char*> pointers;
};

// Starts `program` with its output going to /dev/null and its errors to
// `errorFd` when that is open, else to `errorFile`; returns the process id,
// or -1. Descriptors without FD_CLOEXEC stay open in the child.
inline pid_t spawn(const QString& program, const QStringList& arguments, Environment& environment,
    const QString& errorFile, int errorFd = -1)
{
    std::vector<QByteArray> texts { QFile::encodeName(program) };
    for (const QString& argument : arguments)
        texts.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (const QByteArray& text : texts)
        argv.push_back(const_cast<char*>(text.constData()));
    argv.push_back(nullptr);
    const QByteArray errors = QFile::encodeName(errorFile);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (errorFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, errorFd, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(
            &actions, STDERR_FILENO, errors.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int status = program.contains(QLatin1Char('/'))
        ? posix_spawn(&pid, argv.front(), &actions, nullptr, argv.data(), environment.data())
        : posix_spawnp(&pid, argv.front(), &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? pid : -1;
}

// Looks without reaping, so that wait4 still gets the child's usage.
inline bool exited(pid_t pid)
{
    siginfo_t info {};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0
        && info.si_pid == pid;
}

// Ends a child, asking first when `graceMs` gives it time to, and reaps it;
// returns its peak RSS in KiB (ru_maxrss), or -1.
inline long endChild(pid_t pid, int graceMs = 0)
{
    if (pid <= 0)
        return -1;
    if (graceMs > 0) {
        ::kill(pid, SIGTERM);
        for (int waited = 0; waited < graceMs && !exited(pid); waited += 10)
            ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    rusage usage {};
    int status = 0;
    pid_t waited;
    do
        waited = ::wait4(pid, &status, 0, &usage);
    while (waited < 0 && errno == EINTR);
    return waited == pid ? usage.ru_maxrss : -1;
}

inline QString readErrors(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.read(4000)).trimmed() : QString();
}

// What every child on the private display gets: that display and no debug
// output. `noBus` is a path where no session bus listens.
inline QProcessEnvironment displayEnvironment(const QByteArray& displayName, const QString& noBus)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(displayName));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
    // The widgets draw without OpenGL; loading a GL driver for the X connection would add
    // tens of milliseconds and megabytes to every start that the unit's display never pays.
    environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
    // Under X the accessibility bridge asks for a session bus and, finding none,
    // forks to start one; the unit's display has neither X nor that bridge.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + noBus);
    return environment;
}

// --- the display ----------------------------------------------------------

class PrivateDisplay {
public:
    PrivateDisplay() = default;
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;
    ~PrivateDisplay()
    {
        if (connection)
            xcb.disconnect(connection);
        if (server > 0)
            endChild(server, 2000);
    }

    // Starts a private X server and watches its root window; empty on success, else why not.
    QString start(const QString& errorFile)
    {
        if (!xcb.load())
            return QStringLiteral("libxcb.so.1 could not be loaded");
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0)
            return QStringLiteral("no pipe");
        // The server writes its display number to this descriptor once it accepts clients;
        // it is the only descriptor it inherits besides the standard ones.
        ::fcntl(ready[1], F_SETFD, 0);
        Environment environment(QProcessEnvironment::systemEnvironment());
        server = spawn(QStringLiteral("Xvfb"),
            { QStringLiteral("-displayfd"), QString::number(ready[1]), QStringLiteral("-nolisten"),
                QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                QStringLiteral("1280x1024x24") },
            environment, errorFile);
        ::close(ready[1]);
        if (server <= 0) {
            ::close(ready[0]);
            return QStringLiteral("Xvfb could not be started (is it installed?)");
        }
        QByteArray number;
        pollfd watch { ready[0], POLLIN, 0 };
        while (!number.endsWith('\n') && ::poll(&watch, 1, 10000) > 0) {
            char buffer[16];
            const ssize_t n = ::read(ready[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            number.append(buffer, static_cast<int>(n));
        }
        ::close(ready[0]);
        if (number.trimmed().isEmpty())
            return QStringLiteral("Xvfb did not start: ") + readErrors(errorFile);
        name = ':' + number.trimmed();

        connection = xcb.connect(name.constData(), nullptr);
        if (xcb.hasError(connection))
            return QStringLiteral("cannot connect to Xvfb at ") + QString::fromLatin1(name);
        const xcb_window_t root = xcb.rootsIterator(xcb.getSetup(connection)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        if (xcb_generic_error_t* error = xcb.requestCheck(
                connection, xcb.changeAttributes(connection, root, XCB_CW_EVENT_MASK, &mask))) {
            std::free(error);
            return QStringLiteral("cannot watch the root window");
        }
        pidAtom = atom("_NET_WM_PID");
        return QString();
    }

    QByteArray displayName() const { return name; }
    int fileDescriptor() const { return xcb.fileDescriptor(connection); }

    // Handles the events that are waiting: `mapped(window)` for each top-level
    // window the server has mapped since, in order.
    template <typename Mapped> void eachMap(Mapped mapped)
    {
        while (xcb_generic_event_t* event = xcb.pollForEvent(connection)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event);
                if (!map->override_redirect)
                    mapped(map->window);
            }
            std::free(event);
        }
    }

    // Waits on the display until `seen()`, which handles the events waiting,
    // finds what it looks for; false when the child `pid` ended first or the
    // time ran out.
    template <typename Seen> bool watchChild(pid_t pid, Seen seen)
    {
        Timer deadline;
        while (deadline.elapsedUs() < childTimeoutMs * 1000.0) {
            pollfd watch { fileDescriptor(), POLLIN, 0 };
            ::poll(&watch, 1, 20);
            // Asked before the events are read, so that a window mapped just before the end counts.
            const bool ended = exited(pid);
            if (seen())
                return true;
            if (ended)
                break;
        }
        return false;
    }

    // The process that says it owns `window`, or 0; `gone` is set when the
    // window no longer exists.
    pid_t ownerOf(xcb_window_t window, bool* gone = nullptr)
    {
        return static_cast<pid_t>(property(window, pidAtom, XCB_ATOM_CARDINAL, gone).value(0));
    }

    xcb_atom_t atom(const char* atomName)
    {
        xcb_intern_atom_reply_t* reply = xcb.internAtomReply(connection,
            xcb.internAtom(connection, 0, static_cast<uint16_t>(qstrlen(atomName)), atomName), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return value;
    }

    // The 32-bit values of a window property (the first few); `gone` is set
    // when the window no longer exists.
    QVector<uint32_t> property(xcb_window_t window, xcb_atom_t which, xcb_atom_t type, bool* gone = nullptr)
    {
        xcb_get_property_reply_t* reply = xcb.getPropertyReply(
            connection, xcb.getProperty(connection, 0, window, which, type, 0, 8), nullptr);
        QVector<uint32_t> values;
        if (reply && reply->format == 32) {
            const auto* value = static_cast<const uint32_t*>(xcb.propertyValue(reply));
            for (int i = 0; i < xcb.propertyValueLength(reply) / 4; ++i)
                values << value[i];
        }
        if (gone)
            *gone = reply == nullptr;
        std::free(reply);
        return values;
    }

private:
    Xcb xcb;
    pid_t server = -1;
    QByteArray name;
    xcb_connection_t* connection = nullptr;
    xcb_atom_t pidAtom = 0;
};

} // namespace bench
