// The component host: a registry of classes by name and by class identity, dispatch of
// operations by name with by-value and by-reference arguments, and the per-call
// transaction context (ObjectContext) with its commit and abort votes.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <optional>

#include "platform/dictionary.h"
#include "platform/error.h"
#include "platform/safearray.h"
#include "platform/variant.h"

namespace ec {

class Component;
using Args = std::vector<Variant>;

// How an argument is taken: the declared kind decides the conversion applied on dispatch.
enum class ArgKind { Variant, Integer, Long, Double, Currency, Date, String, Bool, Dictionary, Array, Object };
const char* argKindName(ArgKind k);

struct ParamInfo {
  std::string name;
  ArgKind kind = ArgKind::Variant;
  bool byRef = false;
  bool optional = false;
  // Used for an optional argument left out; Missing means "pass Missing".
  Variant defaultValue = Variant::missing();
};

struct OperationInfo {
  std::string name;
  std::vector<ParamInfo> params;
  ArgKind result = ArgKind::Variant;
  bool returnsValue = true;
  std::string doc;
  // Called with the arguments already converted; by-reference arguments are the elements
  // of args, so the callee's changes reach the caller.
  std::function<Variant(Component&, Args&)> call;

  size_t requiredCount() const;
};

// Declaration of a class: its name, identity, whether its root calls are transactional,
// and its operations in the order of its interface.
class ClassInfo {
 public:
  ClassInfo(std::string name, std::string clsid, bool transactional, std::string doc = {});

  const std::string& name() const { return name_; }
  const std::string& clsid() const { return clsid_; }
  bool transactional() const { return transactional_; }
  const std::string& doc() const { return doc_; }
  const std::vector<OperationInfo>& operations() const { return ops_; }
  // Lookup by name, ignoring case as late binding does; nullptr when absent.
  const OperationInfo* find(std::string_view op) const;

  // Declares an operation bound to a member of T (the component's own class).
  template <class T>
  ClassInfo& op(std::string name, std::vector<ParamInfo> params, ArgKind result,
                std::function<Variant(T&, Args&)> fn, std::string doc = {}) {
    OperationInfo o;
    o.name = std::move(name);
    o.params = std::move(params);
    o.result = result;
    o.doc = std::move(doc);
    o.call = [fn = std::move(fn)](Component& c, Args& a) { return fn(dynamic_cast<T&>(c), a); };
    ops_.push_back(std::move(o));
    return *this;
  }
  // An operation without a result value.
  template <class T>
  ClassInfo& sub(std::string name, std::vector<ParamInfo> params, std::function<void(T&, Args&)> fn,
                 std::string doc = {}) {
    op<T>(
        std::move(name), std::move(params), ArgKind::Variant,
        [fn = std::move(fn)](T& c, Args& a) {
          fn(c, a);
          return Variant();
        },
        std::move(doc));
    ops_.back().returnsValue = false;
    return *this;
  }

 private:
  std::string name_, clsid_, doc_;
  bool transactional_;
  std::vector<OperationInfo> ops_;
};

// Parameter declaration shorthands: in(name, kind), ref(name, kind), then .opt(default).
struct Param {
  static ParamInfo in(std::string name, ArgKind kind) { return ParamInfo{std::move(name), kind, false, false, Variant::missing()}; }
  static ParamInfo ref(std::string name, ArgKind kind) { return ParamInfo{std::move(name), kind, true, false, Variant::missing()}; }
  static ParamInfo opt(ParamInfo p, Variant def = Variant::missing()) {
    p.optional = true;
    p.defaultValue = std::move(def);
    return p;
  }
};

// Converts an argument to the parameter's declared kind with the rules of dispatch
// (Type mismatch, Overflow or Invalid use of Null when it cannot take that kind).
Variant convertArgument(const ParamInfo& p, const Variant& v);

// A component: an object whose operations can be called by name.
class Component : public Object {
 public:
  virtual const ClassInfo& classInfo() const = 0;
  std::string typeName() const override;

  // Calls operation op with args: checks the count (Wrong number of arguments), fills
  // optional arguments left out (or given as Missing) with their default, converts each
  // argument to its declared kind (Type mismatch naming the argument), and writes the
  // callee's values of by-reference arguments back into args, also when the callee raises
  // (an argument passed as Missing stays Missing).
  Variant invoke(std::string_view op, Args& args);
};

// A resource that takes part in a call's transaction (the database layer's connections).
class TransactionResource {
 public:
  virtual ~TransactionResource();
  virtual void commit() = 0;
  virtual void rollback() = 0;
  // A resource whose commit only makes final what the others decide (the call's file
  // changes, say) commits after every other one, so that it still rolls back when one of
  // them fails to commit.
  virtual bool commitsLast() const { return false; }
};

enum class Vote { None, Commit, Abort };

// The transaction context of the current root call; one per thread at most.
class ObjectContext {
 public:
  // The context of the call running on this thread, or nullptr outside a root call.
  static ObjectContext* current();

  void setComplete() { vote_ = Vote::Commit; }
  void setAbort() { vote_ = Vote::Abort; }
  Vote vote() const { return vote_; }

  // Creates a component that joins this context's transaction.
  std::shared_ptr<Component> createInstance(std::string_view className);

  // Resources enlisted under a key (one per database, for example).
  TransactionResource* resource(const std::string& key) const;
  void enlist(const std::string& key, std::shared_ptr<TransactionResource> r);

 private:
  friend class TransactionScope;
  ObjectContext() = default;
  Vote vote_ = Vote::None;
  std::vector<std::pair<std::string, std::shared_ptr<TransactionResource>>> resources_;
};

// Opens a context for a root call on this thread. finish() commits the enlisted resources
// when the standing vote is commit or no vote was given and rolls them back on abort; a
// scope left without finish() (the call threw) rolls back. When a context is already open
// on the thread the scope joins it and does nothing itself.
class TransactionScope {
 public:
  TransactionScope();
  ~TransactionScope();
  TransactionScope(const TransactionScope&) = delete;
  TransactionScope& operator=(const TransactionScope&) = delete;

  // Returns true when the work was committed.
  bool finish();
  ObjectContext* context() const { return ctx_.get(); }

 private:
  void rollbackAll() noexcept;
  std::unique_ptr<ObjectContext> ctx_;  // null when joining an outer context
  ObjectContext* previous_ = nullptr;
  bool done_ = false;
};

// The class registry. Registration under an existing name replaces it (tests put doubles there).
class Host {
 public:
  using Factory = std::function<std::shared_ptr<Component>()>;
  static Host& instance();

  // info may be null for components that are only used through their C++ interface.
  void registerClass(const std::string& name, const std::string& clsid, Factory factory,
                     const ClassInfo* info = nullptr);
  void unregisterClass(const std::string& name);
  bool isRegistered(std::string_view name) const;

  // ActiveX component can't create object (429) for an unknown class.
  std::shared_ptr<Component> create(std::string_view name) const;
  std::shared_ptr<Component> createByClsid(std::string_view clsid) const;
  const ClassInfo* classInfo(std::string_view name) const;
  std::vector<std::string> classNames() const;

  // A root call: creates the class, and for a transactional class opens a transaction
  // context around the call (commit on success unless the standing vote is abort).
  Variant callRoot(std::string_view className, std::string_view op, Args& args);

  struct Registration {
    std::string name, clsid;
    Factory factory;
    const ClassInfo* info = nullptr;
  };
  // Saved and restored by ScopedRegistration.
  std::optional<Registration> lookup(std::string_view name) const;
  void restore(const std::string& name, std::optional<Registration> r);

 private:
  mutable std::mutex mu_;
  std::map<std::string, Registration, std::less<>> byName_;
};

// Replaces a registration for the lifetime of the object (tests).
class ScopedRegistration {
 public:
  ScopedRegistration(std::string name, Host::Factory factory, const ClassInfo* info = nullptr);
  ~ScopedRegistration();
  ScopedRegistration(const ScopedRegistration&) = delete;
  ScopedRegistration& operator=(const ScopedRegistration&) = delete;

 private:
  std::string name_;
  std::optional<Host::Registration> saved_;
};

// Creates className through the host and casts to the interface I (Type mismatch when the
// class does not implement it).
template <class I>
std::shared_ptr<I> createAs(std::string_view className) {
  auto c = Host::instance().create(className);
  auto p = std::dynamic_pointer_cast<I>(c);
  if (!p) raiseError(13, std::string(className), "The class " + std::string(className) + " does not provide the interface asked for");
  return p;
}

}  // namespace ec
