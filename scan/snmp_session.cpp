#include "scan/snmp_session.h"

#include "scan/scan_budget.h"

#include <net-snmp/library/large_fd_set.h>
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <span>
#include <unistd.h>

namespace {

// net-snmp was built without its reentrant locks: its argument parser (getopt),
// configuration, request ids and USM user list are global. Every call into the library
// takes this lock, so sessions may run on several threads; waiting for answers does not.
std::mutex g_libraryMutex;

// net-snmp keeps the v3 user a session makes for an agent's engine, with the keys made
// from its passphrases, after the session closes, and a later session of that user with
// that engine uses those keys whatever its own passphrases: a mistyped passphrase would
// stick until the program ends. Our sessions count their users and the last one out
// removes it, whatever engines it was made for (the session does not tell which).
std::map<std::string, int> g_usmUsers;

// The parser gives a v1/v2c session a copy of the community of its own; the session is ours.
void releaseParsedSession(netsnmp_session& session)
{
    if (session.version == SNMP_VERSION_1 || session.version == SNMP_VERSION_2c) {
        std::free(session.community);
        session.community = nullptr;
        session.community_len = 0;
    }
}

std::string libraryError(int code)
{
    const char* text = snmp_api_errstring(code);
    return text ? text : "unknown error";
}

MibValue valueOf(const netsnmp_variable_list& variable)
{
    MibValue value;
    value.type = variable.type;
    switch (variable.type) {
    case ASN_INTEGER:
        value.number = variable.val.integer ? *variable.val.integer : 0;
        break;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER:
        value.number = variable.val.integer ? static_cast<std::uint32_t>(*variable.val.integer) : 0;
        break;
    case ASN_COUNTER64:
        if (variable.val.counter64)
            value.number
                = static_cast<std::int64_t>((static_cast<std::uint64_t>(variable.val.counter64->high) << 32)
                    | variable.val.counter64->low);
        break;
    case ASN_OCTET_STR:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
        if (variable.val.string)
            value.octets.assign(reinterpret_cast<const char*>(variable.val.string), variable.val_len);
        break;
    case ASN_OBJECT_ID:
        if (variable.val.objid)
            value.oid.assign(variable.val.objid, variable.val.objid + variable.val_len / sizeof(oid));
        break;
    default:
        break;
    }
    return value;
}

// The session's last error as net-snmp words it; fallback, or the code's text, when it has none.
std::string sessionError(void* handle, const char* fallback)
{
    int libraryCode = 0;
    int systemCode = 0;
    char* text = nullptr;
    snmp_sess_error(handle, &libraryCode, &systemCode, &text);
    const std::string reason = text && *text ? text : fallback ? fallback : libraryError(libraryCode);
    std::free(text);
    return reason;
}

std::vector<oid> toOid(const std::vector<std::uint32_t>& ids)
{
    return std::vector<oid>(ids.begin(), ids.end());
}

// The tables the program walks by name, any other by its identifier.
std::string tableName(const std::vector<std::uint32_t>& entry)
{
    static const std::map<std::vector<std::uint32_t>, std::string> names {
        { { 1, 3, 6, 1, 2, 1, 6, 13, 1 }, "tcpConnTable" },
        { { 1, 3, 6, 1, 2, 1, 7, 5, 1 }, "udpTable" },
        { { 1, 3, 6, 1, 2, 1, 6, 19, 1 }, "tcpConnectionTable" },
        { { 1, 3, 6, 1, 2, 1, 6, 20, 1 }, "tcpListenerTable" },
        { { 1, 3, 6, 1, 2, 1, 7, 7, 1 }, "udpEndpointTable" },
        { { 1, 3, 6, 1, 2, 1, 25, 4, 2, 1 }, "hrSWRunTable" },
    };
    if (const auto found = names.find(entry); found != names.end())
        return found->second;
    std::string text;
    for (const std::uint32_t id : entry) {
        if (!text.empty())
            text += '.';
        text += std::to_string(id);
    }
    return text;
}

// What a value holds on the heap beyond its own size, as the budget counts it.
std::size_t heapBytes(const MibValue& value)
{
    return (value.octets.capacity() > 15 ? value.octets.capacity() : 0)
        + value.oid.capacity() * sizeof(std::uint32_t);
}

} // namespace

// --- Operations ----------------------------------------------------------------------------

ColumnWalk::ColumnWalk(
    std::vector<std::uint32_t> entry, std::vector<std::uint32_t> columns, ScanBudget& budget)
    : m_entry(std::move(entry))
    , m_budget(budget)
    , m_table(tableName(m_entry))
    , m_columns(std::move(columns))
{
    m_lastColumn = m_columns.empty() ? 0 : *std::max_element(m_columns.begin(), m_columns.end());
    m_lastName = toOid(m_entry);
    if (!m_columns.empty())
        m_lastName.push_back(m_columns.front());
}

snmp_pdu* ColumnWalk::request(long version, int maxRepetitions)
{
    const bool bulk = version != SNMP_VERSION_1 && maxRepetitions > 1;
    netsnmp_pdu* pdu = snmp_pdu_create(bulk ? SNMP_MSG_GETBULK : SNMP_MSG_GETNEXT);
    if (bulk) {
        pdu->non_repeaters = 0;
        pdu->max_repetitions = m_batchLimit > 0 ? std::min(m_batchLimit, maxRepetitions) : maxRepetitions;
    }
    snmp_add_null_var(pdu, m_lastName.data(), m_lastName.size());
    return pdu;
}

void ColumnWalk::retrySmaller()
{
    m_batchLimit = m_batchLimit > 0 ? std::max(1, m_batchLimit / 2) : 10;
}

SnmpOperation::Step ColumnWalk::consume(const snmp_pdu& response)
{
    if (response.errstat == SNMP_ERR_NOSUCHNAME)
        return Step::Done; // v1's end of the agent's view
    if (response.errstat != SNMP_ERR_NOERROR) {
        failure = snmp_errstring(static_cast<int>(response.errstat));
        return Step::Failed;
    }
    if (!response.variables) {
        failure = "empty response";
        return Step::Failed;
    }
    const std::size_t entryLength = m_entry.size();
    // A GetBulk answer is the run of names successive GetNexts would give, so each
    // value is taken exactly as a GetNext's would be.
    for (const netsnmp_variable_list* variable = response.variables; variable;
         variable = variable->next_variable) {
        if (variable->type == SNMP_ENDOFMIBVIEW)
            return Step::Done;
        if (snmp_oid_compare(variable->name, variable->name_length, m_lastName.data(), m_lastName.size())
            <= 0) {
            failure = "the agent's names do not advance";
            return Step::Failed;
        }
        if (variable->name_length <= entryLength + 1
            || !std::equal(m_entry.begin(), m_entry.end(), variable->name))
            return Step::Done; // past the table
        const auto column = static_cast<std::uint32_t>(variable->name[entryLength]);
        if (column > m_lastColumn)
            return Step::Done; // later columns would all be dropped
        m_lastName.assign(variable->name, variable->name + variable->name_length);
        if (column != m_currentColumn) {
            m_currentColumn = column;
            m_cursor = 0;
        }
        const auto asked = std::find(m_columns.begin(), m_columns.end(), column);
        if (asked == m_columns.end())
            continue;
        const std::size_t slot = static_cast<std::size_t>(asked - m_columns.begin());
        const std::span<const oid> index(
            variable->name + entryLength + 1, variable->name + variable->name_length);
        if (slot == 0) {
            if (m_rows.size() >= m_budget.maxRowsPerTable())
                return stop(m_budget.rowsText());
            MibRow& row = m_rows.emplace_back();
            row.index.assign(index.begin(), index.end());
            row.values.resize(m_columns.size());
            row.values[0] = valueOf(*variable);
            m_cursor = m_rows.size();
            if (!m_budget.spend(sizeof(MibRow) + row.index.capacity() * sizeof(std::uint32_t)
                    + row.values.capacity() * sizeof(MibValue) + heapBytes(row.values[0])))
                return stop(m_budget.bytesText());
            continue;
        }
        // Every column comes in the rows' order, so a value's row is at or after the last
        // one filled; rows the agent no longer has are passed by.
        const auto before = [&](const MibRow& row) {
            return std::lexicographical_compare(
                row.index.begin(), row.index.end(), index.begin(), index.end());
        };
        while (m_cursor < m_rows.size() && before(m_rows[m_cursor]))
            ++m_cursor;
        if (m_cursor >= m_rows.size()
            || !std::equal(
                index.begin(), index.end(), m_rows[m_cursor].index.begin(), m_rows[m_cursor].index.end()))
            continue; // a row that came after the first column was read
        MibValue& value = m_rows[m_cursor++].values[slot];
        value = valueOf(*variable);
        if (!m_budget.spend(heapBytes(value)))
            return stop(m_budget.bytesText());
    }
    if (m_budget.expired())
        return stop(m_budget.timeText());
    return Step::Continue;
}

SnmpOperation::Step ColumnWalk::stop(const std::string& why)
{
    m_capped = true;
    failure = m_table + ": " + why;
    return Step::Failed;
}

ScalarGet::ScalarGet(std::vector<std::uint32_t> name)
    : m_name(std::move(name))
{
}

snmp_pdu* ScalarGet::request(long, int)
{
    netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_GET);
    const std::vector<oid> name = toOid(m_name);
    snmp_add_null_var(pdu, name.data(), name.size());
    return pdu;
}

SnmpOperation::Step ScalarGet::consume(const snmp_pdu& response)
{
    if (response.errstat != SNMP_ERR_NOERROR) {
        failure = snmp_errstring(static_cast<int>(response.errstat));
        return Step::Failed;
    }
    const netsnmp_variable_list* variable = response.variables;
    if (!variable || variable->type == SNMP_NOSUCHOBJECT || variable->type == SNMP_NOSUCHINSTANCE
        || variable->type == SNMP_ENDOFMIBVIEW) {
        failure = "no such object";
        return Step::Failed;
    }
    m_value = valueOf(*variable);
    return Step::Done;
}

// --- The session ---------------------------------------------------------------------------

struct SnmpSession::Parsed
{
    netsnmp_session session {};
    // The parser leaves some of the session's names pointing into argv, so argv lives as long.
    std::vector<std::string> words;
};

SnmpSession::SnmpSession(const std::string& peer, const std::vector<std::string>& options,
    const RemoteAgentSettings& settings, const std::string& rejection)
    : m_peer(peer)
    , m_settings(settings)
    , m_parsedSession(std::make_unique<Parsed>())
{
    if (!rejection.empty()) {
        m_error = m_parseError = rejection;
        return;
    }
    // The parser wants writable argv (it blanks secrets in place) and keeps a pointer to the peer.
    std::vector<std::string>& words = m_parsedSession->words;
    words.emplace_back("veltran");
    words.insert(words.end(), options.begin(), options.end());
    words.push_back(peer);
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    std::lock_guard lock(g_libraryMutex);
    netsnmp_session& session = m_parsedSession->session;
    optind = 0; // a fresh getopt scan for every parse
    const int first = snmp_parse_args(argc, argv.data(), &session, "", nullptr);
    if (first < 0) {
        m_error = m_parseError = "invalid SNMP options for " + peer;
        return;
    }
    // The parser answers the index just past the peer, which must be the last word.
    if (first != argc) {
        releaseParsedSession(session);
        m_error = m_parseError = "invalid SNMP options for " + peer + ": unexpected argument";
        return;
    }
    if (session.timeout == SNMP_DEFAULT_TIMEOUT
        && netsnmp_ds_get_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_TIMEOUT) <= 0)
        session.timeout = static_cast<long>(m_settings.timeoutMs) * 1000L;
    // The library's start writes its own default (5) where snmp.conf's "retries" lands, so
    // only another value there is the configuration's word.
    constexpr int kLibraryDefaultRetries = 5;
    const int configuredRetries = netsnmp_ds_get_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_RETRIES);
    if (session.retries == SNMP_DEFAULT_RETRIES
        && (configuredRetries <= 0 || configuredRetries == kLibraryDefaultRetries))
        session.retries = m_settings.retries;
    m_version = session.version;
    m_parsed = true;
}

SnmpSession::~SnmpSession()
{
    std::lock_guard lock(g_libraryMutex);
    if (m_handle)
        snmp_sess_close(m_handle);
    if (!m_usmName.empty() && --g_usmUsers[m_usmName] <= 0) {
        g_usmUsers.erase(m_usmName);
        for (usmUser* user = usm_get_userList(); user;) {
            usmUser* next = user->next;
            if (user->name && m_usmName == user->name) {
                usm_remove_user(user);
                usm_free_user(user);
            }
            user = next;
        }
    }
    if (m_parsed)
        releaseParsedSession(m_parsedSession->session);
}

bool SnmpSession::open()
{
    if (m_handle)
        return true;
    if (!m_parsed) {
        m_error = m_parseError;
        return false;
    }
    std::lock_guard lock(g_libraryMutex);
    netsnmp_session& parsed = m_parsedSession->session;
    // net-snmp would ask for the engine here and wait for the answer, holding every other
    // agent of the poll for up to the whole timeout (SNMP_FLAGS_DONT_PROBE does not stop it
    // in 5.9): it is opened for a stand-in engine, which any agent answers with a report
    // naming its own, and the probe goes out as a request like any other.
    static const u_char kStandInEngine[] = { 0x80, 0, 0, 0, 0 };
    m_discovering = m_version == SNMP_VERSION_3 && parsed.securityEngineIDLen == 0;
    if (m_discovering) {
        parsed.securityEngineID = const_cast<u_char*>(kStandInEngine);
        parsed.securityEngineIDLen = sizeof kStandInEngine;
    }
    m_handle = snmp_sess_open(&parsed);
    if (m_discovering) {
        parsed.securityEngineID = nullptr;
        parsed.securityEngineIDLen = 0;
    }
    if (!m_handle) {
        int libraryCode = 0;
        int systemCode = 0;
        char* text = nullptr;
        snmp_error(&m_parsedSession->session, &libraryCode, &systemCode, &text);
        m_error = "SNMP agent " + m_peer + ": " + (text && *text ? text : libraryError(libraryCode).c_str());
        std::free(text);
        return false;
    }
    const netsnmp_session* opened = snmp_sess_session(m_handle);
    if (m_version == SNMP_VERSION_3 && opened && opened->securityName && *opened->securityName) {
        m_usmName = opened->securityName;
        ++g_usmUsers[m_usmName];
    }
    return true;
}

void SnmpSession::fail(const std::string& reason)
{
    m_error = "SNMP agent " + m_peer + ": " + reason;
    m_succeeded = false;
    m_operation = nullptr;
    m_sendPending = false;
}

bool SnmpSession::start(SnmpOperation& operation)
{
    m_error.clear();
    m_strayReplies.clear();
    m_succeeded = false;
    m_operation = nullptr;
    if (!open())
        return false;
    m_operation = &operation;
    m_sendPending = true;
    std::lock_guard lock(g_libraryMutex);
    if (m_discovering)
        sendProbe();
    else
        sendNext();
    return m_operation != nullptr;
}

// An unauthenticated get for the stand-in engine, which the agent answers with a report
// (usmStatsUnknownEngineIDs) that names its own.
void SnmpSession::sendProbe()
{
    m_sendPending = false;
    // The report's user must be one net-snmp can read it for: the empty user, of no engine.
    if (!usm_get_user(nullptr, 0, const_cast<char*>(""))) {
        auto* user = static_cast<usmUser*>(std::calloc(1, sizeof(usmUser)));
        if (user) {
            user->name = strdup("");
            user->secName = strdup("");
            usm_add_user(user);
        }
    }
    netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_GET);
    pdu->version = SNMP_VERSION_3;
    pdu->securityName = strdup("");
    pdu->securityNameLen = 0;
    pdu->securityLevel = SNMP_SEC_LEVEL_NOAUTH;
    pdu->securityModel = SNMP_SEC_MODEL_USM;
    m_probeRequest = pdu->reqid;
    if (snmp_sess_async_send(m_handle, pdu, &SnmpSession::onResponse, this) == 0) {
        snmp_free_pdu(pdu);
        fail(sessionError(m_handle, nullptr));
    }
}

// The engine the probe's report names, given to the session and its user (whose keys are
// made for that engine, as net-snmp does after its own probe).
bool SnmpSession::takeEngine(const snmp_pdu& report)
{
    netsnmp_session* session = snmp_sess_session(m_handle);
    if (!session || report.securityEngineIDLen == 0 || !report.securityEngineID)
        return false;
    const auto copy = [&](u_char*& to, size_t& length) {
        std::free(to);
        to = static_cast<u_char*>(std::malloc(report.securityEngineIDLen));
        if (!to)
            return false;
        std::memcpy(to, report.securityEngineID, report.securityEngineIDLen);
        length = report.securityEngineIDLen;
        return true;
    };
    if (!copy(session->securityEngineID, session->securityEngineIDLen))
        return false;
    if (!copy(session->contextEngineID, session->contextEngineIDLen))
        return false;
    session->flags &= ~SNMP_FLAGS_USER_CREATED; // made for the stand-in; now for the real engine
    if (usm_create_user_from_session(session) != SNMPERR_SUCCESS)
        return false;
    m_discovering = false;
    return true;
}

void SnmpSession::sendNext()
{
    m_sendPending = false;
    netsnmp_pdu* pdu = m_operation->request(m_version, m_settings.maxRepetitions);
    if (snmp_sess_async_send(m_handle, pdu, &SnmpSession::onResponse, this) == 0) {
        snmp_free_pdu(pdu);
        fail(sessionError(m_handle, nullptr));
    }
}

int SnmpSession::onResponse(int operation, netsnmp_session*, int requestId, netsnmp_pdu* pdu, void* magic)
{
    auto* self = static_cast<SnmpSession*>(magic);
    if (!self->m_operation)
        return 1;
    // net-snmp hands the probe's report over twice (as a security error, then as a message).
    if (!self->m_discovering && self->m_probeRequest != 0 && requestId == self->m_probeRequest)
        return 1;
    if (self->m_discovering) {
        if (operation == NETSNMP_CALLBACK_OP_TIMED_OUT)
            self->fail(libraryError(SNMPERR_TIMEOUT) + self->m_strayReplies);
        else if (operation == NETSNMP_CALLBACK_OP_RESEND)
            return 1;
        else if (!pdu || pdu->command != SNMP_MSG_REPORT || !self->takeEngine(*pdu))
            self->fail("the agent's engine could not be discovered");
        else
            self->m_sendPending = true;
        return 1;
    }
    if ((operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE || operation == NETSNMP_CALLBACK_OP_SEC_ERROR)
        && pdu && pdu->command == SNMP_MSG_REPORT) {
        // A v3 agent's refusal: unknown user, wrong digest (passphrase), wrong level...
        self->fail(libraryError(snmpv3_get_report_type(pdu)));
        return 1;
    }
    switch (operation) {
    case NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE:
        break;
    case NETSNMP_CALLBACK_OP_TIMED_OUT:
        self->fail(libraryError(SNMPERR_TIMEOUT) + self->m_strayReplies);
        return 1;
    case NETSNMP_CALLBACK_OP_RESEND:
        return 1;
    default:
        self->fail(sessionError(self->m_handle, "request failed"));
        return 1;
    }
    if (pdu->errstat == SNMP_ERR_TOOBIG && pdu->command == SNMP_MSG_RESPONSE) {
        self->m_operation->retrySmaller();
        self->m_sendPending = true;
        return 1;
    }
    switch (self->m_operation->consume(*pdu)) {
    case SnmpOperation::Step::Continue:
        self->m_sendPending = true;
        break;
    case SnmpOperation::Step::Done:
        self->m_succeeded = true;
        self->m_operation = nullptr;
        break;
    case SnmpOperation::Step::Failed:
        self->fail(self->m_operation->failure);
        break;
    }
    return 1;
}

// net-snmp drops a reply it cannot parse and waits on, so the request would end as a bare
// "Timeout" seconds later. The reason the parser gave is told at once instead: a reply
// to our request that cannot be read will not become readable by asking again. A reply
// that parses but answers no request of ours (an old id) may be a late duplicate: it is
// only named if the request then times out.
void SnmpSession::read(netsnmp_large_fd_set_s& readable)
{
    const std::uint32_t unmatchedBefore = snmp_get_statistic(STAT_SNMPUNKNOWNPDUHANDLERS);
    const int failed = snmp_sess_read2(m_handle, &readable);
    if (!m_operation)
        return;
    if (snmp_get_statistic(STAT_SNMPUNKNOWNPDUHANDLERS) != unmatchedBefore)
        m_strayReplies = " (a reply came that answered none of our requests)";
    const netsnmp_session* session = snmp_sess_session(m_handle);
    if (failed == 0 || !session || session->s_snmp_errno == 0)
        return;
    fail("the agent's reply could not be read: " + sessionError(m_handle, nullptr));
}

bool SnmpSession::finish()
{
    while (runOnce({ this })) { }
    return m_succeeded;
}

bool SnmpSession::runOnce(const std::vector<SnmpSession*>& sessions, int maxWaitMs)
{
    netsnmp_large_fd_set readable;
    int descriptors = 0;
    int block = 1;
    timeval timeout {};
    bool waiting = false;
    {
        std::lock_guard lock(g_libraryMutex);
        netsnmp_large_fd_set_init(&readable, FD_SETSIZE);
        // Responses are taken in on the callback; the next request goes out from here,
        // outside net-snmp's read.
        for (SnmpSession* session : sessions) {
            if (session->m_operation && session->m_sendPending)
                session->sendNext();
        }
        for (SnmpSession* session : sessions) {
            if (!session->m_operation)
                continue;
            waiting = true;
            snmp_sess_select_info2(session->m_handle, &descriptors, &readable, &timeout, &block);
        }
        if (waiting && block) {
            // Nothing is outstanding, so no answer or timeout would ever end these operations.
            for (SnmpSession* session : sessions) {
                if (session->m_operation)
                    session->fail("no request is outstanding");
            }
        }
    }
    if (waiting && !block) {
        if (maxWaitMs >= 0 && timeout.tv_sec * 1000 + timeout.tv_usec / 1000 > maxWaitMs) {
            timeout.tv_sec = maxWaitMs / 1000;
            timeout.tv_usec = (maxWaitMs % 1000) * 1000;
        }
        const int ready = netsnmp_large_fd_set_select(descriptors, &readable, nullptr, nullptr, &timeout);
        const bool broken = ready < 0 && errno != EINTR;
        std::lock_guard lock(g_libraryMutex);
        for (SnmpSession* session : sessions) {
            if (!session->m_operation)
                continue;
            if (broken) {
                session->fail("the wait for the agent failed");
                continue;
            }
            if (ready > 0)
                session->read(readable);
            if (session->m_operation)
                snmp_sess_timeout(session->m_handle);
        }
    }
    std::lock_guard lock(g_libraryMutex);
    netsnmp_large_fd_set_cleanup(&readable);
    return waiting;
}

SnmpCommandLine splitSnmpCommandLine(
    const std::vector<std::string>& words, std::vector<std::string>& options, std::vector<std::string>& peers)
{
    options.clear();
    peers.clear();
    std::vector<std::string> buffers;
    buffers.emplace_back("veltran-scan");
    buffers.insert(buffers.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& buffer : buffers)
        argv.push_back(buffer.data());
    argv.push_back(nullptr);
    std::lock_guard lock(g_libraryMutex);
    netsnmp_session session {};
    optind = 0;
    const int first = netsnmp_parse_args(
        static_cast<int>(buffers.size()), argv.data(), &session, "", nullptr, NETSNMP_PARSE_ARGS_NOZERO);
    if (first >= 0)
        releaseParsedSession(session);
    if (first == NETSNMP_PARSE_ARGS_SUCCESS_EXIT)
        return SnmpCommandLine::Exit;
    // The parser answers the index just past the first peer.
    if (first < 2 || first > static_cast<int>(buffers.size()))
        return SnmpCommandLine::Error;
    // getopt may have moved the peers behind the options: argv now holds them in that
    // order, pointing at the original words.
    for (int i = 1; i < static_cast<int>(buffers.size()); ++i) {
        const std::string word(argv[static_cast<std::size_t>(i)]);
        (i < first - 1 ? options : peers).push_back(word);
    }
    return SnmpCommandLine::Peers;
}
