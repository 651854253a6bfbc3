#include "childprocess.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

namespace {

constexpr int passwordDescriptor = 3;

void closeQuietly(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= size_t(written);
    }
    return true;
}

// A file in memory that only descriptors reach: no other user can open it by
// a path, and it is gone with the last descriptor.
int memoryFile(const QByteArray& bytes)
{
    const int fd = ::memfd_create("velmo-session", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    if (!writeAll(fd, bytes.constData(), size_t(bytes.size())) || ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL);
    return fd;
}

int pidDescriptor(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    Q_UNUSED(pid)
    return -1;
#endif
}

// Only async-signal-safe calls from here to exec: the parent may have threads.
[[noreturn]] void becomeChild(
    pid_t parent, char* const* argv, int inputRead, int errorWrite, int password, int execReport)
{
    ::setpgid(0, 0);
    // A supervisor killed outright takes its OSD or client along.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent)
        ::_exit(127);

    struct sigaction standard { };
    standard.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP)
            ::sigaction(signal, &standard, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    // Out of the way of 0 to 3 first, so that no dup2 below overwrites another.
    const auto high = [](int fd) { return fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 10); };
    if (inputRead < 0)
        inputRead = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    inputRead = high(inputRead);
    errorWrite = high(errorWrite);
    password = high(password);
    execReport = high(execReport);
    if (inputRead < 0 || ::dup2(inputRead, STDIN_FILENO) < 0 || ::dup2(errorWrite, STDERR_FILENO) < 0)
        ::_exit(127);
    if (password >= 0) {
        if (::dup2(password, passwordDescriptor) < 0)
            ::_exit(127);
    }
    // Nothing of ours beyond what was handed over reaches the program.
    ::syscall(SYS_close_range, password >= 0 ? passwordDescriptor + 1 : passwordDescriptor, ~0U,
        CLOSE_RANGE_CLOEXEC);

    ::execvp(argv[0], argv);
    const int error = errno;
    writeAll(execReport, reinterpret_cast<const char*>(&error), sizeof error);
    ::_exit(127);
}

} // namespace

ChildProcess::~ChildProcess()
{
    terminate();
}

bool ChildProcess::start(const QString& program, const QStringList& arguments, const ChildInput& input)
{
    terminate();
    result = ClientEnd();
    QList<QByteArray> words { QFile::encodeName(program) };
    for (const QString& argument : arguments)
        words << QFile::encodeName(argument);
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    int errorPipe[2] = { -1, -1 };
    int inputPipe[2] = { -1, -1 };
    int reportPipe[2] = { -1, -1 };
    int password = -1;
    const auto fail = [&](const QByteArray& why) {
        for (int* fd : { &errorPipe[0], &errorPipe[1], &inputPipe[0], &inputPipe[1], &reportPipe[0],
                 &reportPipe[1], &password })
            closeQuietly(*fd);
        result.started = false;
        result.code = 127;
        result.errorTail = "cannot run " + words.first() + ": " + why;
        return false;
    };
    if (::pipe2(errorPipe, O_CLOEXEC) < 0 || ::pipe2(reportPipe, O_CLOEXEC) < 0
        || (input.standardInput && ::pipe2(inputPipe, O_CLOEXEC) < 0))
        return fail(std::strerror(errno));
    if (input.descriptor3 && (password = memoryFile(*input.descriptor3)) < 0)
        return fail(QByteArray("no memory file for its password: ") + std::strerror(errno));

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        return fail(std::strerror(errno));
    if (pid == 0)
        becomeChild(parent, argv.data(), inputPipe[0], errorPipe[1], password, reportPipe[1]);

    // Also here, so that a terminate() right after start() reaches the group.
    ::setpgid(pid, pid);
    closeQuietly(errorPipe[1]);
    closeQuietly(inputPipe[0]);
    closeQuietly(reportPipe[1]);
    closeQuietly(password);

    int execError = 0;
    ssize_t got;
    while ((got = ::read(reportPipe[0], &execError, sizeof execError)) < 0 && errno == EINTR) { }
    closeQuietly(reportPipe[0]);
    if (got == sizeof execError) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
        return fail(std::strerror(execError));
    }

    child = pid;
    errorRead = errorPipe[0];
    ::fcntl(errorRead, F_SETFL, O_NONBLOCK);
    if (input.standardInput) {
        inputWrite = inputPipe[1];
        pendingInput = *input.standardInput;
        ::fcntl(inputWrite, F_SETFL, O_NONBLOCK);
    }
    exitWatch = pidDescriptor(pid);
    return true;
}

void ChildProcess::pump(short errorEvents, short inputEvents)
{
    if (errorRead >= 0 && errorEvents) {
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(errorRead, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                if (got == 0 || errno != EAGAIN)
                    closeQuietly(errorRead);
                break;
            }
            writeAll(STDERR_FILENO, buffer, size_t(got));
            result.errorTail.append(buffer, int(got));
            if (result.errorTail.size() > errorTailBytes)
                result.errorTail.remove(0, result.errorTail.size() - errorTailBytes);
        }
    }
    if (inputWrite >= 0 && inputEvents) {
        while (!pendingInput.isEmpty()) {
            const ssize_t written
                = ::write(inputWrite, pendingInput.constData(), size_t(pendingInput.size()));
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0 && errno == EAGAIN)
                return;
            if (written <= 0)
                break; // the child closed its end: what it did not read it does not want
            pendingInput.remove(0, int(written));
        }
        pendingInput.clear();
        closeQuietly(inputWrite);
    }
}

bool ChildProcess::leaderEnded() const
{
    siginfo_t info {};
    return ::waitid(P_PID, id_t(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == child;
}

bool ChildProcess::wait(int wakeFd)
{
    while (child > 0) {
        if (leaderEnded()) {
            // The leader is a zombie until reaped, so its group id still names
            // this group alone.
            ::kill(-child, SIGTERM);
            pump(POLLIN, 0);
            reap();
            return true;
        }
        pollfd fds[4] = {};
        int count = 0;
        const auto watch = [&](int fd, short events) {
            fds[count].fd = fd;
            fds[count].events = events;
            return count++;
        };
        const int errorSlot = errorRead >= 0 ? watch(errorRead, POLLIN) : -1;
        const int inputSlot = inputWrite >= 0 ? watch(inputWrite, POLLOUT) : -1;
        if (exitWatch >= 0)
            watch(exitWatch, POLLIN);
        const int wakeSlot = wakeFd >= 0 ? watch(wakeFd, POLLIN) : -1;
        // Without a pidfd the end is noticed by looking again every so often.
        if (::poll(fds, nfds_t(count), exitWatch >= 0 ? -1 : 100) < 0 && errno != EINTR)
            return false;
        pump(errorSlot >= 0 ? fds[errorSlot].revents : 0, inputSlot >= 0 ? fds[inputSlot].revents : 0);
        if (wakeSlot >= 0 && fds[wakeSlot].revents)
            return false;
    }
    return true;
}

void ChildProcess::terminate(int graceMs)
{
    if (child <= 0)
        return;
    ::kill(-child, SIGTERM);
    ::kill(child, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
    while (!leaderEnded()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            break;
        pollfd fds[2] = {};
        nfds_t count = 0;
        if (exitWatch >= 0)
            fds[count++] = { exitWatch, POLLIN, 0 };
        if (errorRead >= 0)
            fds[count++] = { errorRead, POLLIN, 0 };
        ::poll(fds, count, int(qMin<qint64>(left, exitWatch >= 0 ? left : 50)));
        pump(POLLIN, 0);
    }
    // What is still there after the grace, or stayed behind its leader, is cut off.
    ::kill(-child, SIGKILL);
    ::kill(child, SIGKILL);
    pump(POLLIN, 0);
    reap();
}

void ChildProcess::reap()
{
    int status = 0;
    pid_t got;
    while ((got = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) { }
    if (got == child) {
        result.signalled = WIFSIGNALED(status);
        result.code = result.signalled ? WTERMSIG(status) : WEXITSTATUS(status);
    }
    child = -1;
    closeDescriptors();
}

void ChildProcess::closeDescriptors()
{
    closeQuietly(errorRead);
    closeQuietly(inputWrite);
    closeQuietly(exitWatch);
    pendingInput.clear();
}
