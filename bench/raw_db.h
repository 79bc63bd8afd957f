// The floor of the benchmarks: hand-written access with statements prepared once on one open
// connection (sqlite3 or libpq), parameters bound, the first row read.
#pragma once

#include <libpq-fe.h>
#include <sqlite3.h>

#include <charconv>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/variant.h"

namespace bench {

class Raw {
 public:
  virtual ~Raw() = default;
  // Prepares statement id; parameters are written ?1, ?2, ...
  virtual void prepare(int id, const std::string& sql) = 0;
  // Runs statement id and reads its first row; false when there is none.
  virtual bool run(int id, std::initializer_list<ec::Variant> params) = 0;
  virtual double num(int col) = 0;
  virtual std::string text(int col) = 0;
  // Ends the call: SQLite resets the statements, which ends the read snapshot they shared.
  virtual void endCall() = 0;
};

class RawSqlite final : public Raw {
 public:
  explicit RawSqlite(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db_));
    sqlite3_busy_timeout(db_, 30000);
  }
  ~RawSqlite() override {
    for (auto* s : st_) sqlite3_finalize(s);
    sqlite3_close(db_);
  }
  // Resets a statement before it runs instead of at the end of the call: the last
  // statements stay open between calls, so all calls read one snapshot held across them.
  // Not what a caller gets; kept to show what the snapshot costs.
  bool holdSnapshot = false;

  void prepare(int id, const std::string& sql) override {
    if (static_cast<size_t>(id) >= st_.size()) st_.resize(static_cast<size_t>(id) + 1, nullptr);
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st_[static_cast<size_t>(id)], nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in " + sql);
  }
  bool run(int id, std::initializer_list<ec::Variant> params) override {
    cur_ = st_[static_cast<size_t>(id)];
    sqlite3_reset(cur_);
    int k = 1;
    for (const ec::Variant& p : params) {
      if (p.type() == ec::VarType::String) sqlite3_bind_text(cur_, k++, p.str().c_str(), -1, SQLITE_TRANSIENT);
      else if (p.type() == ec::VarType::Double) sqlite3_bind_double(cur_, k++, p.toDouble());
      else sqlite3_bind_int64(cur_, k++, p.toInt32());
    }
    const int rc = sqlite3_step(cur_);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
    return rc == SQLITE_ROW;
  }
  double num(int col) override { return sqlite3_column_double(cur_, col); }
  std::string text(int col) override {
    const auto* t = sqlite3_column_text(cur_, col);
    return t ? reinterpret_cast<const char*>(t) : "";
  }
  void endCall() override {
    if (!holdSnapshot)
      for (auto* s : st_)
        if (s) sqlite3_reset(s);
  }

 private:
  sqlite3* db_ = nullptr;
  std::vector<sqlite3_stmt*> st_;
  sqlite3_stmt* cur_ = nullptr;
};

class RawPostgres final : public Raw {
 public:
  explicit RawPostgres(const std::string& uri) {
    c_ = PQconnectdb(uri.c_str());
    if (PQstatus(c_) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(c_));
  }
  ~RawPostgres() override {
    PQclear(r_);
    PQfinish(c_);
  }
  void prepare(int id, const std::string& sql) override {
    std::string text = sql;
    for (char& ch : text)
      if (ch == '?') ch = '$';
    PGresult* r = PQprepare(c_, ("s" + std::to_string(id)).c_str(), text.c_str(), 0, nullptr);
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    if (!ok) throw std::runtime_error(std::string(PQerrorMessage(c_)) + " in " + sql);
  }
  bool run(int id, std::initializer_list<ec::Variant> params) override {
    std::vector<std::string> text;
    for (const ec::Variant& p : params) {
      if (p.type() == ec::VarType::Double) {
        char buf[32];
        text.emplace_back(buf, std::to_chars(buf, buf + sizeof buf, p.toDouble()).ptr);
      } else {
        text.push_back(p.toString());
      }
    }
    std::vector<const char*> values;
    for (const auto& t : text) values.push_back(t.c_str());
    PQclear(r_);
    r_ = PQexecPrepared(c_, ("s" + std::to_string(id)).c_str(), static_cast<int>(values.size()), values.data(),
                        nullptr, nullptr, 0);
    const ExecStatusType s = PQresultStatus(r_);
    if (s != PGRES_TUPLES_OK && s != PGRES_COMMAND_OK) throw std::runtime_error(PQerrorMessage(c_));
    return s == PGRES_TUPLES_OK && PQntuples(r_) > 0;
  }
  double num(int col) override { return std::strtod(PQgetvalue(r_, 0, col), nullptr); }
  std::string text(int col) override { return PQgetvalue(r_, 0, col); }
  void endCall() override {
    PQclear(r_);
    r_ = nullptr;
  }

 private:
  PGconn* c_ = nullptr;
  PGresult* r_ = nullptr;
};

// A floor on the database of a connection string ("sqlite:PATH" or a PostgreSQL URI).
inline std::unique_ptr<Raw> rawOn(const std::string& conn) {
  if (conn.rfind("sqlite:", 0) == 0) return std::make_unique<RawSqlite>(conn.substr(7));
  return std::make_unique<RawPostgres>(conn);
}

}  // namespace bench
