#pragma once
// One net-snmp client session (the single-session API) and the requests of a walk,
// driven asynchronously so that one thread can run the walks of many agents at once.
// Internal to the remote agent and the poller; everything else uses RemoteMibAgent.

#include "scan/shell_words.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct snmp_pdu;
struct netsnmp_large_fd_set_s;
class ScanBudget;

// One value of a walk: its ASN.1 type tag and its content.
struct MibValue
{
    std::uint8_t type = 0; // 0: the walk gave no value for this cell
    std::int64_t number = 0; // INTEGER as signed; Counter32, Gauge32, TimeTicks, Unsigned32, Counter64
    std::string octets; // OCTET STRING, Opaque, IpAddress (4 bytes in network order)
    std::vector<std::uint32_t> oid; // OBJECT IDENTIFIER
};

// One row of a column walk: the index sub-identifiers after the column number, and
// one value per column asked, in the order asked.
struct MibRow
{
    std::vector<std::uint32_t> index;
    std::vector<MibValue> values;
};

// Request timing; -t and -r in the SNMP options, or snmp.conf, win over these.
struct RemoteAgentSettings
{
    int timeoutMs = 1000;
    int retries = 2;
    int maxRepetitions = 50; // values asked per GetBulk (v2c, v3)
    // Past these a scan stops and keeps what it has. The row cap is the module's walk's
    // (kMaxWalkRecords). A million rows of the widest table take some 450 MB as read,
    // more than a window should hold: 128 MB is about 280,000 rows, above any agent's table.
    std::size_t maxRowsPerTable = 1'000'000;
    std::size_t maxScanBytes = std::size_t(128) * 1024 * 1024;
    int maxScanSeconds = 60;
};

// One exchange of requests and responses: a table walk or a get.
class SnmpOperation
{
public:
    enum class Step
    {
        Continue, // send the next request
        Done,
        Failed
    };
    virtual ~SnmpOperation() = default;
    // The next request; the session sends it and frees it.
    virtual snmp_pdu* request(long version, int maxRepetitions) = 0;
    // Takes in a response (never a report); Failed sets failure.
    virtual Step consume(const snmp_pdu& response) = 0;
    // A tooBig answer to a GetBulk: the same request asked again in a smaller batch.
    virtual void retrySmaller() { }

    std::string failure;
};

// A column walk: column columns[0] creates one row per value, in the agent's order;
// a value of another column goes to the row of the same index, and one without such a
// row (the table changed between the passes) is dropped. The walk ends at the end of the
// agent's view, at the first name outside the table or past the last column asked, or
// fails on an error status, a name that does not advance, or past the budget's caps.
class ColumnWalk final : public SnmpOperation
{
public:
    ColumnWalk(std::vector<std::uint32_t> entry, std::vector<std::uint32_t> columns, ScanBudget& budget);

    snmp_pdu* request(long version, int maxRepetitions) override;
    Step consume(const snmp_pdu& response) override;
    void retrySmaller() override;

    std::vector<MibRow>& rows() { return m_rows; }
    // Whether a cap of the budget stopped the walk: its rows are all it read until then.
    bool capped() const { return m_capped; }

private:
    Step stop(const std::string& why);

    std::vector<std::uint32_t> m_entry;
    ScanBudget& m_budget;
    std::string m_table; // the table's name, for the failures
    bool m_capped = false;
    std::vector<std::uint32_t> m_columns;
    std::uint32_t m_lastColumn = 0;
    std::vector<unsigned long> m_lastName; // net-snmp's oid type
    std::vector<MibRow> m_rows;
    std::uint32_t m_currentColumn = 0;
    std::size_t m_cursor = 0;
    int m_batchLimit = 0; // 0: as asked; lowered after tooBig
};

// A get of one scalar instance.
class ScalarGet final : public SnmpOperation
{
public:
    explicit ScalarGet(std::vector<std::uint32_t> name);

    snmp_pdu* request(long version, int maxRepetitions) override;
    Step consume(const snmp_pdu& response) override;

    const MibValue& value() const { return m_value; }

private:
    std::vector<std::uint32_t> m_name;
    MibValue m_value;
};

class SnmpSession
{
public:
    // Parses the SNMP options (argv-style, snmpwalk's syntax) for the peer with net-snmp's
    // own parser; error() tells what was wrong. The session itself opens at the first request.
    // A non-empty rejection skips the parse and is the error.
    SnmpSession(const std::string& peer, const std::vector<std::string>& options,
        const RemoteAgentSettings& settings, const std::string& rejection = {});
    ~SnmpSession();
    SnmpSession(const SnmpSession&) = delete;
    SnmpSession& operator=(const SnmpSession&) = delete;

    bool usable() const { return m_parsed; }
    const std::string& peer() const { return m_peer; }
    // The failure of the last operation or of the parse, "" when it succeeded.
    const std::string& error() const { return m_error; }

    // Starts an operation (the session keeps a reference until it ends). False when it
    // ended at once: the session could not open or the first request not go out.
    bool start(SnmpOperation& operation);
    bool busy() const { return m_operation != nullptr; }
    // Whether the last operation went to its end.
    bool succeeded() const { return m_succeeded; }
    // Runs the started operation to its end on this thread; true when it succeeded.
    bool finish();

    // Sends what is due, waits once for answers or the next timeout (at most maxWaitMs when
    // that is not negative) and takes them in. False when no session had an operation running.
    static bool runOnce(const std::vector<SnmpSession*>& sessions, int maxWaitMs = -1);

private:
    struct Parsed;
    bool open();
    void fail(const std::string& reason);
    void sendNext();
    void sendProbe();
    bool takeEngine(const snmp_pdu& report);
    void read(netsnmp_large_fd_set_s& readable);
    static int onResponse(
        int operation, struct snmp_session* session, int requestId, snmp_pdu* pdu, void* magic);

    std::string m_peer;
    RemoteAgentSettings m_settings;
    std::unique_ptr<Parsed> m_parsedSession;
    bool m_parsed = false;
    void* m_handle = nullptr;
    long m_version = 0;
    SnmpOperation* m_operation = nullptr;
    bool m_sendPending = false;
    bool m_succeeded = false;
    std::string m_error;
    std::string m_parseError;
    std::string m_strayReplies; // said after a timeout: replies came that answered nothing
    // The v3 user this session holds in net-snmp's user list.
    std::string m_usmName;
    // A v3 session whose agent's engine is not known yet: the probe for it goes out as the
    // first request of the first operation, so no agent is waited for on its own.
    bool m_discovering = false;
    long m_probeRequest = 0;
};

// How net-snmp's parser read a command line's SNMP part.
enum class SnmpCommandLine
{
    Peers, // options and at least one peer
    Exit, // an option such as -V was answered by the parser itself
    Error // the parser said what was wrong on standard error
};

// Splits words (options in snmpwalk's syntax, then one or more peers) into the options
// and the peers, with net-snmp's own parser, so that they mean what they mean to snmpwalk.
SnmpCommandLine splitSnmpCommandLine(const std::vector<std::string>& words, std::vector<std::string>& options,
    std::vector<std::string>& peers);
