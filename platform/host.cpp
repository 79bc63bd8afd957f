#include "platform/host.h"

#include <algorithm>
#include <cctype>

#include "platform/call_scope.h"
#include "platform/error.h"

namespace ec {

using namespace platform_errors;

const char* argKindName(ArgKind k) {
  switch (k) {
    case ArgKind::Variant: return "Variant";
    case ArgKind::Integer: return "Integer";
    case ArgKind::Long: return "Long";
    case ArgKind::Double: return "Double";
    case ArgKind::Currency: return "Currency";
    case ArgKind::Date: return "Date";
    case ArgKind::String: return "String";
    case ArgKind::Bool: return "Boolean";
    case ArgKind::Dictionary: return "Dictionary";
    case ArgKind::Array: return "Array";
    case ArgKind::Object: return "Object";
  }
  return "?";
}

size_t OperationInfo::requiredCount() const {
  size_t n = 0;
  for (const auto& p : params)
    if (!p.optional) ++n;
  return n;
}

namespace {
bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}
}  // namespace

// Converts one argument to its declared kind. Missing passes through for optional
// parameters; Null passes through for Variant parameters only.
Variant convertArgument(const ParamInfo& p, const Variant& v) {
  switch (p.kind) {
    case ArgKind::Variant: return v;
    case ArgKind::Integer: return Variant(v.toInt16());
    case ArgKind::Long: return Variant(v.toInt32());
    case ArgKind::Double: return Variant(v.toDouble());
    case ArgKind::Currency: return Variant(v.toCurrency());
    case ArgKind::Date: return Variant(v.toDate());
    case ArgKind::String: return Variant(v.toString());
    case ArgKind::Bool: return Variant(v.toBool());
    case ArgKind::Dictionary:
      if (v.isObject() && (v.isNothing() || v.objectAs<Dictionary>())) return v;
      raiseNumber(kTypeMismatch);
    case ArgKind::Array:
      if (v.isArray()) return v;
      raiseNumber(kTypeMismatch);
    case ArgKind::Object:
      if (v.isObject()) return v;
      raiseNumber(kTypeMismatch);
  }
  return v;
}

ClassInfo::ClassInfo(std::string name, std::string clsid, bool transactional, std::string doc)
    : name_(std::move(name)), clsid_(std::move(clsid)), doc_(std::move(doc)), transactional_(transactional) {}

const OperationInfo* ClassInfo::find(std::string_view op) const {
  for (const auto& o : ops_)
    if (iequals(o.name, op)) return &o;
  return nullptr;
}

std::string Component::typeName() const {
  const std::string& n = classInfo().name();
  const auto dot = n.rfind('.');
  return dot == std::string::npos ? n : n.substr(dot + 1);
}

Variant Component::invoke(std::string_view opName, Args& args) {
  const ClassInfo& ci = classInfo();
  const OperationInfo* op = ci.find(opName);
  if (!op)
    raiseError(kNoSuchMethod, ci.name(),
               "Object doesn't support this property or method: " + ci.name() + "." + std::string(opName));
  if (args.size() > op->params.size() || args.size() < op->requiredCount())
    raiseError(kWrongArgumentCount, ci.name(),
               "Wrong number of arguments for " + ci.name() + "." + op->name + ": expected " +
                   (op->requiredCount() == op->params.size()
                        ? std::to_string(op->params.size())
                        : std::to_string(op->requiredCount()) + " to " + std::to_string(op->params.size())) +
                   ", got " + std::to_string(args.size()));
  Args call;
  call.reserve(op->params.size());
  for (size_t i = 0; i < op->params.size(); ++i) {
    const ParamInfo& p = op->params[i];
    const Variant given = i < args.size() ? args[i] : Variant::missing();
    if (given.isMissing()) {
      if (!p.optional)
        raiseError(kWrongArgumentCount, ci.name(), "Argument " + p.name + " of " + op->name + " is not optional");
      call.push_back(p.defaultValue);
      continue;
    }
    try {
      call.push_back(convertArgument(p, given));
    } catch (const ComError& e) {
      raiseError(e.number(), ci.name(),
                 "Argument " + p.name + " of " + op->name + ": expected " + argKindName(p.kind) + ", got " +
                     given.typeName() + " (" + e.description() + ")");
    }
  }
  // By-reference arguments: the callee's values go back to the caller, also when the
  // callee fails after changing them (the caller's variable is the callee's). An argument
  // the caller left out (Missing) has no variable behind it and stays as it was.
  auto writeBack = [&] {
    for (size_t i = 0; i < args.size(); ++i)
      if (op->params[i].byRef && !args[i].isMissing()) args[i] = call[i];
  };
  Variant result;
  try {
    result = op->call(*this, call);
  } catch (...) {
    writeBack();
    throw;
  }
  writeBack();
  return result;
}

TransactionResource::~TransactionResource() = default;

namespace {
thread_local ObjectContext* t_context = nullptr;
}

ObjectContext* ObjectContext::current() { return t_context; }

std::shared_ptr<Component> ObjectContext::createInstance(std::string_view className) {
  return Host::instance().create(className);
}

TransactionResource* ObjectContext::resource(const std::string& key) const {
  for (const auto& [k, r] : resources_)
    if (k == key) return r.get();
  return nullptr;
}

void ObjectContext::enlist(const std::string& key, std::shared_ptr<TransactionResource> r) {
  resources_.emplace_back(key, std::move(r));
}

TransactionScope::TransactionScope() : previous_(t_context) {
  if (!previous_) {
    ctx_.reset(new ObjectContext());
    t_context = ctx_.get();
  }
}

TransactionScope::~TransactionScope() {
  if (ctx_) {
    if (!done_) rollbackAll();
    t_context = previous_;
  }
}

void TransactionScope::rollbackAll() noexcept {
  for (auto it = ctx_->resources_.rbegin(); it != ctx_->resources_.rend(); ++it) {
    try {
      it->second->rollback();
    } catch (...) {
      // A rollback that fails leaves nothing to undo on our side; the database discards
      // the transaction when its connection goes.
    }
  }
  ctx_->resources_.clear();
}

bool TransactionScope::finish() {
  if (!ctx_ || done_) return ctx_ ? ctx_->vote() != Vote::Abort : true;
  done_ = true;
  if (ctx_->vote() == Vote::Abort) {
    rollbackAll();
    return false;
  }
  auto& rs = ctx_->resources_;
  std::stable_partition(rs.begin(), rs.end(), [](const auto& r) { return !r.second->commitsLast(); });
  for (size_t i = 0; i < rs.size(); ++i) {
    try {
      rs[i].second->commit();
    } catch (...) {
      // Roll back whatever has not committed yet, then report the failed commit.
      for (size_t j = rs.size(); j-- > i + 1;) {
        try {
          rs[j].second->rollback();
        } catch (...) {
        }
      }
      rs.clear();
      throw;
    }
  }
  rs.clear();
  return true;
}

Host& Host::instance() {
  static Host h;
  return h;
}

void Host::registerClass(const std::string& name, const std::string& clsid, Factory factory, const ClassInfo* info) {
  std::lock_guard<std::mutex> lock(mu_);
  byName_[name] = Registration{name, clsid, std::move(factory), info};
}

void Host::unregisterClass(const std::string& name) {
  std::lock_guard<std::mutex> lock(mu_);
  byName_.erase(name);
}

bool Host::isRegistered(std::string_view name) const { return lookup(name).has_value(); }

std::optional<Host::Registration> Host::lookup(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = byName_.find(name);
  if (it != byName_.end()) return it->second;
  // Class names are not case-sensitive for creation by name.
  for (const auto& [n, r] : byName_)
    if (iequals(n, name)) return r;
  return std::nullopt;
}

void Host::restore(const std::string& name, std::optional<Registration> r) {
  std::lock_guard<std::mutex> lock(mu_);
  if (r)
    byName_[name] = std::move(*r);
  else
    byName_.erase(name);
}

std::shared_ptr<Component> Host::create(std::string_view name) const {
  auto r = lookup(name);
  if (!r || !r->factory)
    raiseError(kCannotCreateObject, kDefaultErrorSource,
               "ActiveX component can't create object: " + std::string(name) + " is not registered");
  auto c = r->factory();
  if (!c) raiseError(kCannotCreateObject, kDefaultErrorSource, "ActiveX component can't create object: " + std::string(name));
  return c;
}

std::shared_ptr<Component> Host::createByClsid(std::string_view clsid) const {
  Factory f;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (const auto& [n, r] : byName_)
      if (!r.clsid.empty() && iequals(r.clsid, clsid)) f = r.factory;
  }
  if (!f)
    raiseError(kCannotCreateObject, kDefaultErrorSource,
               "ActiveX component can't create object: class " + std::string(clsid) + " is not registered");
  auto c = f();
  if (!c)
    raiseError(kCannotCreateObject, kDefaultErrorSource, "ActiveX component can't create object: class " + std::string(clsid));
  return c;
}

const ClassInfo* Host::classInfo(std::string_view name) const {
  auto r = lookup(name);
  return r ? r->info : nullptr;
}

std::vector<std::string> Host::classNames() const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<std::string> names;
  for (const auto& [n, r] : byName_) names.push_back(n);
  return names;
}

Variant Host::callRoot(std::string_view className, std::string_view op, Args& args) {
  CallScope call;
  auto obj = create(className);
  if (!obj->classInfo().transactional()) return obj->invoke(op, args);
  TransactionScope scope;
  Variant result;
  try {
    result = obj->invoke(op, args);
  } catch (...) {
    obj.reset();  // released before the scope rolls its transaction back
    throw;
  }
  obj.reset();  // the object is released before its transaction ends
  scope.finish();
  return result;
}

ScopedRegistration::ScopedRegistration(std::string name, Host::Factory factory, const ClassInfo* info)
    : name_(std::move(name)), saved_(Host::instance().lookup(name_)) {
  // A name found regardless of case replaces that registration, not a second one beside it.
  if (saved_) name_ = saved_->name;
  const std::string clsid = saved_ ? saved_->clsid : std::string();
  Host::instance().registerClass(name_, clsid, std::move(factory), info ? info : (saved_ ? saved_->info : nullptr));
}

ScopedRegistration::~ScopedRegistration() { Host::instance().restore(name_, saved_); }

}  // namespace ec
