#pragma once
// One prepared statement, kept for the life of its connection and reset after each use.

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

class SqliteStatement
{
public:
    SqliteStatement() = default;
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // The SQLite result code.
    int prepare(sqlite3* db, const char* sql);
    bool prepared() const { return m_stmt != nullptr; }

    // Binds from 1; a negative number binds NULL where nullIfNegative is set.
    void bind(int index, std::int64_t value);
    void bindOrNull(int index, std::int64_t value, bool isNull);
    void bind(int index, std::string_view text);
    void bindBlob(int index, std::string_view bytes);
    // SQLITE_ROW, SQLITE_DONE or an error; the statement is reset on DONE and on errors.
    int step();
    void reset();

    std::int64_t integer(int column) const;
    bool isNull(int column) const;
    std::string text(int column) const; // a blob's bytes too

private:
    sqlite3_stmt* m_stmt = nullptr;
};
