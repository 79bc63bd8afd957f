// The system's SQL dialect on SQLite and PostgreSQL, the statement hooks and the declared-type
// kinds.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>

#include "platform/db/db.h"

namespace ec::db {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
bool isIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }
// A table name starts with a letter or underscore, or is quoted.
bool startsName(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '"' || c == '[' || c == '`';
}

size_t skipBlanks(const std::string& s, size_t i) {
  while (i < s.size() && isBlank(s[i])) ++i;
  return i;
}

// The keyword kw (upper case) stands at i as a whole word, in any case.
bool wordAt(const std::string& s, size_t i, std::string_view kw) {
  if (i + kw.size() > s.size()) return false;
  for (size_t k = 0; k < kw.size(); ++k)
    if (std::toupper(static_cast<unsigned char>(s[i + k])) != kw[k]) return false;
  return i + kw.size() == s.size() || !isIdentChar(s[i + kw.size()]);
}

// "VERB name..." where name is not one of the words that may follow the verb: returns the
// position of name, or npos.
size_t bareTableAfter(const std::string& s, size_t i, std::string_view verb,
                      std::initializer_list<std::string_view> notNames) {
  if (!wordAt(s, i, verb)) return std::string::npos;
  const size_t j = i + verb.size();
  if (j >= s.size() || !isBlank(s[j])) return std::string::npos;
  const size_t k = skipBlanks(s, j);
  if (k >= s.size() || !startsName(s[k])) return std::string::npos;
  for (auto w : notNames)
    if (wordAt(s, k, w)) return std::string::npos;
  return k;
}

bool isIsolationStatement(const std::string& s, size_t i) {
  static constexpr std::string_view kWords[] = {"SET", "TRANSACTION", "ISOLATION", "LEVEL", "READ", "COMMITTED"};
  for (size_t w = 0; w < std::size(kWords); ++w) {
    if (w > 0) {
      if (i >= s.size() || !isBlank(s[i])) return false;
      i = skipBlanks(s, i);
    }
    if (!wordAt(s, i, kWords[w])) return false;
    i += kWords[w].size();
  }
  while (i < s.size() && (isBlank(s[i]) || s[i] == ';')) ++i;
  return i == s.size();
}

}  // namespace

std::string translateForSqlite(const std::string& sql) {
  const size_t i = skipBlanks(sql, 0);
  if (i >= sql.size()) return sql;
  switch (std::toupper(static_cast<unsigned char>(sql[i]))) {
    case 'I': {
      // "INSERT OR REPLACE ..." is SQLite's own form, not a table name.
      const size_t k = bareTableAfter(sql, i, "INSERT", {"INTO", "OR"});
      if (k != std::string::npos) return sql.substr(0, k) + "INTO " + sql.substr(k);
      break;
    }
    case 'D': {
      const size_t k = bareTableAfter(sql, i, "DELETE", {"FROM"});
      if (k != std::string::npos) return sql.substr(0, k) + "FROM " + sql.substr(k);
      break;
    }
    case 'S':
      // Readers of a WAL database only ever see committed data: nothing to execute.
      if (isIsolationStatement(sql, i)) return {};
      break;
    default: break;
  }
  return sql;
}

// PostgreSQL needs the same three forms: INTO and FROM added, and the isolation statement
// left out, since every transaction the backend begins asks for READ COMMITTED itself and
// the session's default is set to it when the connection opens.
std::string translateForPostgres(const std::string& sql) { return translateForSqlite(sql); }

ColumnKind columnKindOf(std::string_view declaredType) {
  std::string t(declaredType);
  for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  auto has = [&](const char* w) { return t.find(w) != std::string::npos; };
  if (has("BOOL") || has("BIT")) return ColumnKind::Bool;
  if (has("DATE") || has("TIME")) return ColumnKind::Date;
  if (has("INT")) return ColumnKind::Integer;
  if (has("REAL") || has("DOUB") || has("FLOA") || has("NUM") || has("DEC")) return ColumnKind::Double;
  if (has("CHAR") || has("TEXT") || has("CLOB")) return ColumnKind::Text;
  return ColumnKind::Any;
}

// ---------------------------------------------------------------------------------------
// Statement hooks: a process-wide list. Calls are serialised so that a hook may record into
// a plain container; removal waits for calls in flight so a hook never outlives its owner.

namespace {

struct HookRegistry {
  std::mutex listMu;
  std::recursive_mutex callMu;
  std::vector<std::pair<int, std::shared_ptr<StatementHook>>> hooks;
  int nextId = 1;
  std::atomic<int> count{0};
};

// Never destroyed: hooks owned by static objects may be removed during exit.
HookRegistry& registry() {
  static HookRegistry* r = new HookRegistry;
  return *r;
}

void removeHook(int id) {
  if (id == 0) return;
  HookRegistry& r = registry();
  std::lock_guard<std::recursive_mutex> call(r.callMu);
  std::lock_guard<std::mutex> lock(r.listMu);
  auto it = std::find_if(r.hooks.begin(), r.hooks.end(), [id](const auto& h) { return h.first == id; });
  if (it != r.hooks.end()) {
    r.hooks.erase(it);
    r.count.fetch_sub(1, std::memory_order_relaxed);
  }
}

}  // namespace

HookHandle& HookHandle::operator=(HookHandle&& o) noexcept {
  if (this != &o) {
    removeHook(id_);
    id_ = o.id_;
    o.id_ = 0;
  }
  return *this;
}

HookHandle::~HookHandle() { removeHook(id_); }

HookHandle addStatementHook(StatementHook hook) {
  HookRegistry& r = registry();
  std::lock_guard<std::mutex> lock(r.listMu);
  const int id = r.nextId++;
  r.hooks.emplace_back(id, std::make_shared<StatementHook>(std::move(hook)));
  r.count.fetch_add(1, std::memory_order_relaxed);
  return HookHandle(id);
}

void detail::runHooks(const std::string& sql) {
  HookRegistry& r = registry();
  if (r.count.load(std::memory_order_relaxed) == 0) return;
  std::lock_guard<std::recursive_mutex> call(r.callMu);
  std::vector<std::shared_ptr<StatementHook>> snapshot;
  {
    std::lock_guard<std::mutex> lock(r.listMu);
    snapshot.reserve(r.hooks.size());
    for (const auto& h : r.hooks) snapshot.push_back(h.second);
  }
  for (const auto& h : snapshot) (*h)(sql);
}

StatementTrace::StatementTrace() : handle_(addStatementHook([this](const std::string& s) { stmts_.push_back(s); })) {}

bool StatementTrace::contains(std::string_view sql) const {
  return std::find(stmts_.begin(), stmts_.end(), sql) != stmts_.end();
}

}  // namespace ec::db
