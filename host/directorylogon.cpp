#include "directorylogon.h"

#include <ldap.h>
#include <string.h>

#include <condition_variable>
#include <mutex>
#include <vector>

// What the caller and the workers share; a worker never outlives it (the
// destructor joins them all).
struct DirectoryLogon::Hub {
    std::mutex mutex;
    std::condition_variable changed;
    quint64 progress = 0;
    QStringList log;
};

struct DirectoryLogon::Attempt {
    Hub* hub = nullptr;
    DirectoryConfig config;
    Clock clock;
    qint64 deadline = 0;
    QString user;
    std::vector<char> password;
    // Under hub->mutex:
    int code = DirectoryRunning;
    bool abandoned = false;
    bool threadDone = false;
    DirectoryResult result;
};

namespace {

const QString logPrefix = QStringLiteral("DirectoryLogon: ");

// Text from the typed name or the server goes into the log as one plain line.
QString printable(const QString& text, int limit = 120)
{
    QString out;
    for (const QChar c : text.left(limit))
        out += c.isPrint() ? c : QChar(QLatin1Char('?'));
    return out;
}

void wipe(std::vector<char>& secret)
{
    if (!secret.empty())
        explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

struct CodeRow {
    int ldapResult;
    int code;
};

const CodeRow codeTable[] = {
    { LDAP_INVALID_CREDENTIALS, DirectoryRefused },
    { LDAP_SERVER_DOWN, DirectoryUnreachable },
    { LDAP_CONNECT_ERROR, DirectoryUnreachable },
    { LDAP_TIMEOUT, DirectoryNoAnswer },
};

int codeFor(int ldapResult)
{
    for (const CodeRow& row : codeTable) {
        if (row.ldapResult == ldapResult)
            return row.code;
    }
    return DirectoryInternalError;
}

// One log-on on its own connection, on the worker thread.
class Work {
public:
    explicit Work(DirectoryLogon::Attempt& attempt)
        : a(attempt)
        , c(attempt.config)
    {
    }
    ~Work()
    {
        if (ld)
            ldap_unbind_ext_s(ld, nullptr, nullptr);
    }

    int run(DirectoryResult* result);

private:
    void log(const QString& line)
    {
        std::lock_guard<std::mutex> lock(a.hub->mutex);
        if (!a.abandoned)
            a.hub->log << logPrefix + line;
    }
    QString caName() const
    {
        return c.caFile.isEmpty() ? QStringLiteral("the system's authorities") : printable(c.caFile);
    }
    QString who() const { return QStringLiteral("\"%1\"").arg(printable(a.user, 64)); }
    QString diagnostic() const
    {
        char* text = nullptr;
        ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &text);
        const QString diag = printable(QString::fromUtf8(text ? text : ""));
        ldap_memfree(text);
        return diag;
    }
    // An error of a step: logged with the library's words, answered by the table.
    int fail(const QString& step, int rc)
    {
        if (rc == LDAP_TIMEOUT)
            return DirectoryNoAnswer; // said once, by whoever noticed the deadline
        // Over ldaps:// a refused certificate looks like any failed connect.
        const QString orCertificate = c.usesTls() && !c.startTls
            ? QStringLiteral(", or its certificate was not verified against %1").arg(caName())
            : QString();
        if (codeFor(rc) == DirectoryUnreachable)
            log(QStringLiteral("%1 unreachable%2: %3 (%4)")
                    .arg(c.uri, orCertificate, QString::fromUtf8(ldap_err2string(rc)))
                    .arg(rc));
        else
            log(QStringLiteral("%1 failed: %2 (%3) %4")
                    .arg(step, QString::fromUtf8(ldap_err2string(rc)))
                    .arg(rc)
                    .arg(diagnostic()));
        return codeFor(rc);
    }
    bool givenUp()
    {
        const qint64 now = a.clock();
        std::lock_guard<std::mutex> lock(a.hub->mutex);
        if (a.abandoned)
            return true;
        if (now < a.deadline)
            return false;
        if (a.code == DirectoryRunning) {
            a.code = DirectoryNoAnswer;
            a.hub->log << logPrefix
                    + QStringLiteral("no answer from %1 within %2 s").arg(c.uri).arg(c.timeoutSeconds);
            ++a.hub->progress;
            a.hub->changed.notify_all();
        }
        a.abandoned = true;
        return true;
    }
    // Waits for the whole answer to `msgid` in short real waits, so a clock
    // that passes the deadline ends the wait however long the network takes.
    int await(int msgid, LDAPMessage** answer, int* serverResult)
    {
        *answer = nullptr;
        for (;;) {
            if (givenUp())
                return LDAP_TIMEOUT;
            struct timeval wait {
                0, 100 * 1000
            };
            const int type = ldap_result(ld, msgid, LDAP_MSG_ALL, &wait, answer);
            if (type == 0)
                continue;
            if (type < 0) {
                int rc = LDAP_OTHER;
                ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &rc);
                return rc == LDAP_SUCCESS ? LDAP_OTHER : rc;
            }
            const int rc
                = ldap_parse_result(ld, *answer, serverResult, nullptr, nullptr, nullptr, nullptr, 0);
            return rc;
        }
    }
    // A search whose answer comes back in `answer` (freed by the caller).
    int search(const QByteArray& base, int scope, const QByteArray& filter, const char* attribute,
        int sizeLimit, LDAPMessage** answer, int* serverResult)
    {
        char* attributes[] = { const_cast<char*>(attribute ? attribute : LDAP_NO_ATTRS), nullptr };
        int msgid = -1;
        struct timeval limit {
            c.timeoutSeconds, 0
        };
        const int rc = ldap_search_ext(ld, base.constData(), scope, filter.constData(), attributes, 0,
            nullptr, nullptr, &limit, sizeLimit, &msgid);
        if (rc != LDAP_SUCCESS)
            return rc;
        return await(msgid, answer, serverResult);
    }
    int bind(const QByteArray& dn, std::vector<char>& password, int* serverResult)
    {
        struct berval credentials {
            ber_len_t(password.size()), password.data()
        };
        int msgid = -1;
        const int rc
            = ldap_sasl_bind(ld, dn.constData(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr, &msgid);
        // The request is encoded and sent; our copy is no longer needed.
        wipe(password);
        if (rc != LDAP_SUCCESS)
            return rc;
        LDAPMessage* answer = nullptr;
        const int waited = await(msgid, &answer, serverResult);
        ldap_msgfree(answer);
        return waited;
    }
    int connect();
    int findPerson(QByteArray* dn);
    int readPrivilege(const QByteArray& dn, QString* privilege);
    int readConnections(const QByteArray& dn, QStringList* connections);

    DirectoryLogon::Attempt& a;
    const DirectoryConfig& c;
    LDAP* ld = nullptr;
};

int Work::connect()
{
    const QByteArray uri = c.uri.toUtf8();
    int rc = ldap_initialize(&ld, uri.constData());
    if (rc != LDAP_SUCCESS)
        return fail(QStringLiteral("ldap_initialize"), rc);
    const int version = LDAP_VERSION3;
    struct timeval network {
        c.timeoutSeconds, 0
    };
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    // Connect and TLS handshake are the library's own blocking waits; bounded here.
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &network);
    if (c.usesTls()) {
        const int demand = LDAP_OPT_X_TLS_DEMAND;
        const int tls12 = LDAP_OPT_X_TLS_PROTOCOL_TLS1_2;
        const int newContext = 0;
        const QByteArray caFile = c.caFile.toUtf8();
        if ((!caFile.isEmpty()
                && ldap_set_option(ld, LDAP_OPT_X_TLS_CACERTFILE, caFile.constData()) != LDAP_OPT_SUCCESS)
            || ldap_set_option(ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand) != LDAP_OPT_SUCCESS
            || ldap_set_option(ld, LDAP_OPT_X_TLS_PROTOCOL_MIN, &tls12) != LDAP_OPT_SUCCESS
            || ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &newContext) != LDAP_OPT_SUCCESS) {
            log(QStringLiteral("the TLS settings for %1 were not taken (ca_file %2)")
                    .arg(c.uri, printable(c.caFile)));
            return DirectoryInternalError;
        }
    } else {
        log(QStringLiteral("no TLS to %1: names and passwords cross the network in the clear").arg(c.uri));
    }
    if (!c.startTls)
        return DirectoryBound;

    int msgid = -1;
    rc = ldap_extended_operation(ld, LDAP_EXOP_START_TLS, nullptr, nullptr, nullptr, &msgid);
    int serverResult = LDAP_OTHER;
    LDAPMessage* answer = nullptr;
    if (rc == LDAP_SUCCESS)
        rc = await(msgid, &answer, &serverResult);
    ldap_msgfree(answer);
    if (rc == LDAP_SUCCESS)
        rc = serverResult;
    if (rc != LDAP_SUCCESS)
        return fail(QStringLiteral("StartTLS"), rc);
    rc = ldap_install_tls(ld);
    if (rc != LDAP_SUCCESS) {
        log(QStringLiteral("TLS with %1 failed, its certificate was not verified against %2: %3 (%4) %5")
                .arg(c.uri, caName(), QString::fromUtf8(ldap_err2string(rc)))
                .arg(rc)
                .arg(diagnostic()));
        return rc == LDAP_TIMEOUT ? DirectoryNoAnswer : DirectoryUnreachable;
    }
    return DirectoryBound;
}

int Work::findPerson(QByteArray* dn)
{
    const QByteArray name = a.user.toUtf8();
    if (!c.userDn.isEmpty()) {
        *dn = c.userDn.toUtf8().replace("%s", escapeDnValue(name));
        return DirectoryBound;
    }
    if (!c.bindDn.isEmpty()) {
        std::vector<char> secret(c.bindPassword.constBegin(), c.bindPassword.constEnd());
        int serverResult = LDAP_OTHER;
        int rc = bind(c.bindDn.toUtf8(), secret, &serverResult);
        if (rc == LDAP_SUCCESS)
            rc = serverResult;
        if (rc == LDAP_INVALID_CREDENTIALS) {
            log(QStringLiteral("the search account %1 was refused by %2").arg(printable(c.bindDn), c.uri));
            return DirectoryInternalError;
        }
        if (rc != LDAP_SUCCESS)
            return fail(QStringLiteral("the search account's bind"), rc);
    }
    LDAPMessage* answer = nullptr;
    int serverResult = LDAP_OTHER;
    const QByteArray filter = c.userFilter.toUtf8().replace("%s", escapeFilterValue(name));
    int rc = search(c.base.toUtf8(), LDAP_SCOPE_SUBTREE, filter, nullptr, 2, &answer, &serverResult);
    const int entries = answer ? ldap_count_entries(ld, answer) : 0;
    if (rc == LDAP_SUCCESS && entries == 1) {
        char* found = ldap_get_dn(ld, ldap_first_entry(ld, answer));
        *dn = QByteArray(found ? found : "");
        ldap_memfree(found);
    }
    ldap_msgfree(answer);
    if (rc == LDAP_SUCCESS)
        rc = serverResult;
    if (entries > 1 || rc == LDAP_SIZELIMIT_EXCEEDED) {
        log(QStringLiteral("%1 matches more than one person under %2; refused")
                .arg(who(), printable(c.base)));
        return DirectoryRefused;
    }
    if (rc == LDAP_NO_SUCH_OBJECT || (rc == LDAP_SUCCESS && entries == 0)) {
        log(QStringLiteral("no person %1 under %2").arg(who(), printable(c.base)));
        return DirectoryRefused;
    }
    if (rc != LDAP_SUCCESS)
        return fail(QStringLiteral("the search for %1").arg(who()), rc);
    return dn->isEmpty() ? DirectoryInternalError : DirectoryBound;
}

int Work::readPrivilege(const QByteArray& dn, QString* privilege)
{
    const QByteArray filter = '(' + c.groupMemberAttribute.toUtf8() + '=' + escapeFilterValue(dn) + ')';
    const QPair<QString, QString> groups[] = { { c.adminGroup, QStringLiteral("Administrator") },
        { c.powerGroup, QStringLiteral("Power User") } };
    for (const auto& group : groups) {
        if (group.first.isEmpty())
            continue;
        LDAPMessage* answer = nullptr;
        int serverResult = LDAP_OTHER;
        int rc = search(group.first.toUtf8(), LDAP_SCOPE_BASE, filter, nullptr, 1, &answer, &serverResult);
        const int entries = answer ? ldap_count_entries(ld, answer) : 0;
        ldap_msgfree(answer);
        if (rc == LDAP_SUCCESS)
            rc = serverResult;
        if (rc == LDAP_NO_SUCH_OBJECT) {
            log(QStringLiteral("the group %1 does not exist").arg(printable(group.first)));
            continue;
        }
        if (rc != LDAP_SUCCESS)
            return fail(QStringLiteral("reading the group %1").arg(printable(group.first)), rc);
        if (entries > 0) {
            *privilege = group.second;
            return DirectoryBound;
        }
    }
    *privilege = QStringLiteral("User");
    return DirectoryBound;
}

int Work::readConnections(const QByteArray& dn, QStringList* connections)
{
    constexpr int maxConnections = 256;
    constexpr int maxNameBytes = 256;
    if (c.connectionsAttribute.isEmpty())
        return DirectoryBound;
    const QByteArray attribute = c.connectionsAttribute.toUtf8();
    LDAPMessage* answer = nullptr;
    int serverResult = LDAP_OTHER;
    int rc = search(dn, LDAP_SCOPE_BASE, "(objectClass=*)", attribute.constData(), 1, &answer, &serverResult);
    LDAPMessage* entry = answer ? ldap_first_entry(ld, answer) : nullptr;
    struct berval** values = entry ? ldap_get_values_len(ld, entry, attribute.constData()) : nullptr;
    int skipped = 0;
    for (int i = 0; values && values[i]; ++i) {
        const QByteArray raw(values[i]->bv_val, int(qMin<ber_len_t>(values[i]->bv_len, maxNameBytes + 1)));
        const QString name = QString::fromUtf8(raw);
        if (raw.size() > maxNameBytes || name.toUtf8() != raw || printable(name, maxNameBytes) != name
            || connections->size() >= maxConnections)
            ++skipped;
        else
            *connections << name;
    }
    ldap_value_free_len(values);
    ldap_msgfree(answer);
    if (skipped)
        log(QStringLiteral("%1 values of %2 for %3 are not connection names; skipped")
                .arg(skipped)
                .arg(c.connectionsAttribute, who()));
    if (rc == LDAP_SUCCESS)
        rc = serverResult;
    return rc == LDAP_SUCCESS ? DirectoryBound
                              : fail(QStringLiteral("reading the connections of %1").arg(who()), rc);
}

int Work::run(DirectoryResult* result)
{
    int code = connect();
    QByteArray dn;
    if (code == DirectoryBound)
        code = findPerson(&dn);
    if (code != DirectoryBound)
        return code;
    int serverResult = LDAP_OTHER;
    int rc = bind(dn, a.password, &serverResult);
    if (rc == LDAP_SUCCESS)
        rc = serverResult;
    if (rc == LDAP_INVALID_CREDENTIALS) {
        log(QStringLiteral("%1 refused by the directory: wrong password or no such person").arg(who()));
        return DirectoryRefused;
    }
    if (rc != LDAP_SUCCESS)
        return fail(QStringLiteral("the bind of %1").arg(who()), rc);
    code = readPrivilege(dn, &result->privilege);
    if (code == DirectoryBound)
        code = readConnections(dn, &result->connections);
    if (code == DirectoryBound)
        log(QStringLiteral("%1 logged on as %2 with privilege %3")
                .arg(who(), printable(QString::fromUtf8(dn)), result->privilege));
    return code;
}

void runAttempt(std::shared_ptr<DirectoryLogon::Attempt> attempt)
{
    DirectoryResult result;
    int code;
    {
        Work work(*attempt);
        code = work.run(&result);
    }
    wipe(attempt->password);
    std::lock_guard<std::mutex> lock(attempt->hub->mutex);
    if (attempt->code == DirectoryRunning && !attempt->abandoned) {
        attempt->code = code;
        attempt->result = result;
    }
    attempt->threadDone = true;
    ++attempt->hub->progress;
    attempt->hub->changed.notify_all();
}

} // namespace

DirectoryLogon::DirectoryLogon(const DirectoryConfig& config, Clock clock)
    : config(config)
    , clock(std::move(clock))
    , hub(std::make_unique<Hub>())
{
}

DirectoryLogon::~DirectoryLogon()
{
    {
        std::lock_guard<std::mutex> lock(hub->mutex);
        for (auto& worker : workers)
            worker.first->abandoned = true;
    }
    for (auto& worker : workers)
        worker.second.join();
}

void DirectoryLogon::reapFinished()
{
    std::list<std::pair<std::shared_ptr<Attempt>, std::thread>> done;
    {
        std::lock_guard<std::mutex> lock(hub->mutex);
        for (auto it = workers.begin(); it != workers.end();) {
            auto next = std::next(it);
            if (it->first->threadDone)
                done.splice(done.end(), workers, it);
            it = next;
        }
    }
    for (auto& worker : done)
        worker.second.join();
}

int DirectoryLogon::start(const QString& user, const QByteArray& password)
{
    // At most this many given-up attempts may still wait on an unanswering server.
    constexpr size_t maxWorkers = 4;
    reapFinished();
    auto attempt = std::make_shared<Attempt>();
    attempt->hub = hub.get();
    attempt->config = config;
    attempt->clock = clock;
    attempt->user = user;
    std::lock_guard<std::mutex> lock(hub->mutex);
    if (current && current->code == DirectoryRunning) {
        hub->log << logPrefix
                + QStringLiteral("a log-on is still running; %1 refused").arg(printable(user, 64));
        return DirectoryInternalError;
    }
    if (current)
        current->abandoned = true;
    current = attempt;
    if (user.isEmpty() || password.isEmpty()) {
        // Many servers take a bind without a password as an anonymous one.
        hub->log << logPrefix
                + QStringLiteral("\"%1\" refused: an empty name or password is never sent")
                      .arg(printable(user, 64));
        attempt->code = DirectoryRefused;
        return DirectoryRefused;
    }
    if (workers.size() >= maxWorkers) {
        hub->log << logPrefix
                + QStringLiteral("%1 earlier log-ons still wait on %2; \"%3\" refused")
                      .arg(workers.size())
                      .arg(config.uri, printable(user, 64));
        attempt->code = DirectoryUnreachable;
        return DirectoryUnreachable;
    }
    attempt->password.assign(password.constBegin(), password.constEnd());
    attempt->deadline = clock() + qint64(config.timeoutSeconds) * 1000;
    workers.emplace_back(attempt, std::thread(runAttempt, attempt));
    return DirectoryBound;
}

QString DirectoryLogon::user() const
{
    std::lock_guard<std::mutex> lock(hub->mutex);
    return current ? current->user : QString();
}

int DirectoryLogon::status()
{
    const qint64 now = clock();
    std::lock_guard<std::mutex> lock(hub->mutex);
    if (!current)
        return DirectoryInternalError;
    if (current->code == DirectoryRunning && now >= current->deadline) {
        current->code = DirectoryNoAnswer;
        current->abandoned = true;
        hub->log << logPrefix
                + QStringLiteral("no answer from %1 within %2 s").arg(config.uri).arg(config.timeoutSeconds);
        ++hub->progress;
        hub->changed.notify_all();
    }
    return current->code;
}

DirectoryResult DirectoryLogon::result() const
{
    std::lock_guard<std::mutex> lock(hub->mutex);
    return current && current->code == DirectoryBound ? current->result : DirectoryResult();
}

int DirectoryLogon::complete()
{
    std::lock_guard<std::mutex> lock(hub->mutex);
    if (!current)
        return DirectoryInternalError;
    const int code = current->code == DirectoryRunning ? DirectoryInternalError : current->code;
    current->abandoned = true;
    current.reset();
    return code;
}

bool DirectoryLogon::waitForProgress(int realMs)
{
    std::unique_lock<std::mutex> lock(hub->mutex);
    if (!current || current->code != DirectoryRunning)
        return false;
    const quint64 before = hub->progress;
    return hub->changed.wait_for(
        lock, std::chrono::milliseconds(realMs), [&] { return hub->progress != before; });
}

QStringList DirectoryLogon::takeLogLines()
{
    std::lock_guard<std::mutex> lock(hub->mutex);
    QStringList lines;
    lines.swap(hub->log);
    return lines;
}
