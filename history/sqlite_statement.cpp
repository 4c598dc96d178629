#include "history/sqlite_statement.h"

#include <sqlite3.h>

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_stmt);
}

int SqliteStatement::prepare(sqlite3* db, const char* sql)
{
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
}

void SqliteStatement::bind(int index, std::int64_t value)
{
    sqlite3_bind_int64(m_stmt, index, value);
}

void SqliteStatement::bindOrNull(int index, std::int64_t value, bool isNull)
{
    if (isNull)
        sqlite3_bind_null(m_stmt, index);
    else
        sqlite3_bind_int64(m_stmt, index, value);
}

void SqliteStatement::bind(int index, std::string_view text)
{
    sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bindBlob(int index, std::string_view bytes)
{
    sqlite3_bind_blob(m_stmt, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

int SqliteStatement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc != SQLITE_ROW)
        reset();
    return rc;
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

std::int64_t SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::string SqliteStatement::text(int column) const
{
    const unsigned char* value = sqlite3_column_text(m_stmt, column);
    return value
        ? std::string(reinterpret_cast<const char*>(value), std::size_t(sqlite3_column_bytes(m_stmt, column)))
        : std::string();
}
