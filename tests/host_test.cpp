#include "platform/host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using ec::ArgKind;
using ec::Args;
using ec::ComError;
using ec::Host;
using ec::ObjectContext;
using ec::Param;
using ec::SafeArray;
using ec::TransactionScope;
using ec::Variant;
namespace pe = ec::platform_errors;

namespace {

ComError errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e;
  }
  ADD_FAILURE() << "no error was raised";
  return {};
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string lower(std::string s) {
  for (auto& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

// A component with one operation per way of passing arguments.
class Sample : public ec::Component {
 public:
  explicit Sample(std::string tag = {}) : tag(std::move(tag)) {}
  const ec::ClassInfo& classInfo() const override { return info(); }
  std::string tag;

  static const ec::ClassInfo& info() {
    static const ec::ClassInfo ci = [] {
      ec::ClassInfo c("HostTest.Sample", "{7D3B0C11-2F55-4C1E-9E0A-5B6C7D8E9F01}", false);
      c.sub<Sample>("Swap", {Param::ref("o_vA", ArgKind::Variant), Param::ref("o_vB", ArgKind::Variant)},
                    [](Sample&, Args& a) { std::swap(a[0], a[1]); });
      c.op<Sample>("Twice", {Param::in("i_lValue", ArgKind::Long)}, ArgKind::Long, [](Sample&, Args& a) {
        const int32_t v = a[0].toInt32();
        a[0] = 0;  // a by-value argument: the caller must not see this
        return Variant(v * 2);
      });
      c.sub<Sample>("Fill", {Param::ref("o_aValues", ArgKind::Array), Param::in("i_lCount", ArgKind::Long)},
                    [](Sample&, Args& a) {
                      SafeArray values = SafeArray::oneDim(0, a[1].toInt32() - 1);
                      for (int32_t i = 0; i < a[1].toInt32(); ++i) values(i) = i * i;
                      a[0] = Variant(std::move(values));
                    });
      c.op<Sample>("Describe",
                   {Param::in("i_sName", ArgKind::String), Param::opt(Param::in("i_lCount", ArgKind::Long), Variant(7)),
                    Param::opt(Param::ref("o_vExtra", ArgKind::Variant))},
                   ArgKind::String, [](Sample&, Args& a) {
                     const std::string extra = a[2].isMissing() ? "missing" : a[2].toString();
                     a[2] = "written";
                     return Variant(a[0].str() + ":" + a[1].toString() + ":" + a[1].typeName() + ":" + extra);
                   });
      c.sub<Sample>("SetThenFail", {Param::ref("o_sStatus", ArgKind::String)}, [](Sample&, Args& a) {
        a[0] = "half done";
        ec::raiseError(ec::errors::kContractLineNotFound, "", "the line is gone");
      });
      c.op<Sample>("Kinds", {Param::in("i_nSmall", ArgKind::Integer), Param::in("i_oDicValues", ArgKind::Dictionary)},
                   ArgKind::Variant, [](Sample&, Args& a) { return Variant(a[0].typeName()); });
      return c;
    }();
    return ci;
  }
};

// Records what happened to the resources enlisted in a transaction.
std::vector<std::string> g_events;

class RecordingResource : public ec::TransactionResource {
 public:
  RecordingResource(std::string name, bool failCommit = false) : name_(std::move(name)), failCommit_(failCommit) {}
  void commit() override {
    if (failCommit_) {
      g_events.push_back(name_ + ":commit failed");
      throw ComError(pe::kDatabaseError, "db", "commit refused");
    }
    g_events.push_back(name_ + ":commit");
  }
  void rollback() override { g_events.push_back(name_ + ":rollback"); }

 private:
  std::string name_;
  bool failCommit_;
};

std::shared_ptr<RecordingResource> resource(const std::string& name, bool failCommit = false) {
  return std::make_shared<RecordingResource>(name, failCommit);
}

// A transactional class (and a plain one with the same operation): Work enlists a resource
// when a context exists, gives the votes listed in i_sVotes and fails when asked.
class Worker : public ec::Component {
 public:
  explicit Worker(bool transactional) : transactional_(transactional) {}
  const ec::ClassInfo& classInfo() const override { return transactional_ ? info(true) : info(false); }

  static const ec::ClassInfo& info(bool transactional) {
    auto make = [](bool tx) {
      ec::ClassInfo c(tx ? "HostTest.Worker" : "HostTest.Plain", "", tx);
      c.op<Worker>("Work", {Param::in("i_sVotes", ArgKind::String), Param::in("i_bFail", ArgKind::Bool)},
                   ArgKind::Bool, [](Worker&, Args& a) { return Variant(work(a[0].str(), a[1].toBool())); });
      return c;
    };
    static const ec::ClassInfo tx = make(true), plain = make(false);
    return transactional ? tx : plain;
  }

 private:
  static bool work(const std::string& votes, bool fail) {
    ObjectContext* ctx = ObjectContext::current();
    if (ctx) ctx->enlist("db", resource("db"));
    std::istringstream in(votes);
    std::string vote;
    while (std::getline(in, vote, ',')) {
      if (!ctx) continue;  // outside a context a vote does nothing
      if (vote == "commit") ctx->setComplete();
      if (vote == "abort") ctx->setAbort();
      if (vote == "nested-abort") {
        // An object created in the context joins its transaction; its vote counts.
        auto inner = ctx->createInstance("HostTest.Worker");
        Args args{"abort", false};
        inner->invoke("Work", args);
        EXPECT_EQ(ObjectContext::current(), ctx);
      }
      if (vote == "root-abort") {
        Args args{"abort", false};
        Host::instance().callRoot("HostTest.Worker", "Work", args);
        EXPECT_EQ(ObjectContext::current(), ctx) << "a root call inside a context joins it";
      }
    }
    if (fail) ec::raiseNumber(ec::errors::kContractHeaderNotFound, "HostTest");
    return ctx != nullptr;
  }
  bool transactional_;
};

TEST(Host, ByReferenceAndByValueArguments) {
  Sample s;
  Args args{1, "x"};
  EXPECT_TRUE(s.invoke("Swap", args).isEmpty());
  EXPECT_EQ(args[0].str(), "x");
  EXPECT_EQ(args[1].toInt32(), 1);
  s.invoke("swap", args);  // names are found regardless of case
  EXPECT_EQ(args[0].toInt32(), 1);

  args = {21};
  EXPECT_EQ(s.invoke("Twice", args).toInt32(), 42);
  EXPECT_EQ(args[0].toInt32(), 21) << "a by-value argument is not written back";
  args = {"21"};
  EXPECT_EQ(s.invoke("Twice", args).toInt32(), 42);
  EXPECT_EQ(args[0].str(), "21");

  args = {Variant(SafeArray()), 3};
  s.invoke("Fill", args);
  ASSERT_TRUE(args[0].isArray());
  EXPECT_EQ(args[0].array().ubound(), 2);
  EXPECT_EQ(args[0].array()(2).toInt32(), 4);

  // The callee's change of a by-reference argument reaches the caller also when it fails.
  args = {"untouched"};
  ComError e = errorOf([&] { s.invoke("SetThenFail", args); });
  EXPECT_EQ(e.number(), ec::errors::kContractLineNotFound);
  EXPECT_EQ(e.description(), "the line is gone");
  EXPECT_EQ(args[0].str(), "half done");
}

TEST(Host, OptionalArgumentsAndArgumentErrors) {
  Sample s;
  ComError e;
  Args args{"n"};
  EXPECT_EQ(s.invoke("Describe", args).str(), "n:7:LONG:missing");
  args = {"n", 3};
  EXPECT_EQ(s.invoke("Describe", args).str(), "n:3:LONG:missing");
  args = {"n", Variant::missing(), "given"};
  EXPECT_EQ(s.invoke("Describe", args).str(), "n:7:LONG:given");
  EXPECT_EQ(args[2].str(), "written");
  EXPECT_TRUE(args[1].isMissing());
  args = {"n", Variant::missing(), Variant::missing()};
  EXPECT_EQ(s.invoke("Describe", args).str(), "n:7:LONG:missing");
  EXPECT_TRUE(args[2].isMissing()) << "a left-out argument has no variable to write back to";

  // Wrong number of arguments, naming the operation.
  for (Args bad : {Args{}, Args{"n", 1, 2, 3}}) {
    e = errorOf([&] { s.invoke("Describe", bad); });
    EXPECT_EQ(e.number(), pe::kWrongArgumentCount);
    EXPECT_TRUE(contains(e.description(), "Describe")) << e.description();
  }
  args = {Variant::missing()};
  e = errorOf([&] { s.invoke("Describe", args); });
  EXPECT_EQ(e.number(), pe::kWrongArgumentCount);
  EXPECT_TRUE(contains(e.description(), "i_sName")) << e.description();

  // An argument of the wrong shape: the error names the argument and keeps its number.
  const struct {
    const char* op;
    Args args;
    int32_t number;
    const char* name;
  } cases[] = {
      {"Fill", {"not an array", 2}, pe::kTypeMismatch, "o_aValues"},
      {"Fill", {Variant(SafeArray()), "two"}, pe::kTypeMismatch, "i_lCount"},
      {"Describe", {Variant::null()}, pe::kInvalidUseOfNull, "i_sName"},
      {"Kinds", {40000, Variant(ec::Dictionary::make())}, pe::kOverflow, "i_nSmall"},
      {"Kinds", {1, 5}, pe::kTypeMismatch, "i_oDicValues"},
      {"Kinds", {1, Variant(SafeArray())}, pe::kTypeMismatch, "i_oDicValues"},
  };
  for (auto c : cases) {
    e = errorOf([&] { s.invoke(c.op, c.args); });
    EXPECT_EQ(e.number(), c.number) << c.op << " " << c.name;
    EXPECT_TRUE(contains(e.description(), c.name)) << e.description();
    EXPECT_TRUE(contains(e.description(), c.op)) << e.description();
  }
  args = {1.5, Variant::nothing()};
  EXPECT_EQ(s.invoke("Kinds", args).str(), "INTEGER");

  args = {};
  e = errorOf([&] { s.invoke("NoSuchThing", args); });
  EXPECT_EQ(e.number(), pe::kNoSuchMethod);
  EXPECT_TRUE(contains(e.description(), "NoSuchThing"));
}

TEST(Transactions, LastVoteWinsAndUnfinishedScopesRollBack) {
  EXPECT_EQ(ObjectContext::current(), nullptr) << "no context outside a root call";
  const struct {
    std::vector<const char*> votes;
    bool committed;
  } cases[] = {{{}, true}, {{"commit"}, true}, {{"abort"}, false}, {{"commit", "abort"}, false},
               {{"abort", "commit"}, true}, {{"abort", "commit", "abort"}, false}};
  for (const auto& c : cases) {
    g_events.clear();
    {
      TransactionScope scope;
      ObjectContext* ctx = ObjectContext::current();
      ASSERT_NE(ctx, nullptr);
      EXPECT_EQ(ctx, scope.context());
      ctx->enlist("a", resource("a"));
      ctx->enlist("b", resource("b"));
      EXPECT_NE(ctx->resource("b"), nullptr);
      EXPECT_EQ(ctx->resource("c"), nullptr);
      for (const char* v : c.votes) std::string(v) == "commit" ? ctx->setComplete() : ctx->setAbort();
      EXPECT_EQ(scope.finish(), c.committed);
    }
    EXPECT_EQ(g_events, (c.committed ? std::vector<std::string>{"a:commit", "b:commit"}
                                     : std::vector<std::string>{"b:rollback", "a:rollback"}));
    EXPECT_EQ(ObjectContext::current(), nullptr);
  }

  // A scope left without finish (the call threw) rolls back even after a commit vote.
  g_events.clear();
  try {
    TransactionScope scope;
    ObjectContext::current()->enlist("a", resource("a"));
    ObjectContext::current()->setComplete();
    throw std::runtime_error("the call failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(g_events, std::vector<std::string>{"a:rollback"});
  EXPECT_EQ(ObjectContext::current(), nullptr);

  // An inner scope joins the outer context; only the outer one decides.
  g_events.clear();
  {
    TransactionScope outer;
    ObjectContext* ctx = ObjectContext::current();
    {
      TransactionScope inner;
      EXPECT_EQ(inner.context(), nullptr);
      EXPECT_EQ(ObjectContext::current(), ctx);
      ctx->enlist("a", resource("a"));
      ctx->setComplete();
      EXPECT_TRUE(inner.finish());
    }
    EXPECT_TRUE(g_events.empty());
    EXPECT_EQ(ObjectContext::current(), ctx);
    ctx->setAbort();
    EXPECT_FALSE(outer.finish());
  }
  EXPECT_EQ(g_events, std::vector<std::string>{"a:rollback"});

  // A commit that fails rolls back what has not committed yet and reports the failure.
  g_events.clear();
  {
    TransactionScope scope;
    ObjectContext::current()->enlist("a", resource("a"));
    ObjectContext::current()->enlist("b", resource("b", true));
    ObjectContext::current()->enlist("c", resource("c"));
    EXPECT_EQ(errorOf([&] { scope.finish(); }).number(), pe::kDatabaseError);
  }
  EXPECT_EQ(g_events, (std::vector<std::string>{"a:commit", "b:commit failed", "c:rollback"}));
}

TEST(Transactions, RootCallsOfTransactionalClasses) {
  ec::ScopedRegistration worker("HostTest.Worker", [] { return std::make_shared<Worker>(true); }, &Worker::info(true));
  ec::ScopedRegistration plain("HostTest.Plain", [] { return std::make_shared<Worker>(false); }, &Worker::info(false));
  Host& host = Host::instance();
  auto root = [&](const char* cls, const char* votes, bool fail = false) {
    g_events.clear();
    Args args{votes, fail};
    return host.callRoot(cls, "Work", args);
  };

  EXPECT_TRUE(root("HostTest.Worker", "").toBool());
  EXPECT_EQ(g_events, std::vector<std::string>{"db:commit"});
  root("HostTest.Worker", "commit,abort");
  EXPECT_EQ(g_events, std::vector<std::string>{"db:rollback"});
  root("HostTest.Worker", "abort,commit");
  EXPECT_EQ(g_events, std::vector<std::string>{"db:commit"});

  // A nested object and a nested root call join the caller's transaction; their abort vote
  // stands unless the caller votes again.
  root("HostTest.Worker", "commit,nested-abort");
  EXPECT_EQ(g_events, (std::vector<std::string>{"db:rollback", "db:rollback"}));
  root("HostTest.Worker", "root-abort,commit");
  EXPECT_EQ(g_events, (std::vector<std::string>{"db:commit", "db:commit"}));
  root("HostTest.Worker", "root-abort");
  EXPECT_EQ(g_events, (std::vector<std::string>{"db:rollback", "db:rollback"}));

  // A root call that throws rolls back whatever was voted, and the error reaches the caller.
  ComError e = errorOf([&] { root("HostTest.Worker", "commit", true); });
  EXPECT_EQ(e.number(), ec::errors::kContractHeaderNotFound);
  EXPECT_EQ(e.source(), "HostTest");
  EXPECT_EQ(g_events, std::vector<std::string>{"db:rollback"});
  EXPECT_EQ(ObjectContext::current(), nullptr);

  // A class that is not transactional runs without a context: its votes do nothing.
  EXPECT_FALSE(root("HostTest.Plain", "commit,abort").toBool());
  EXPECT_TRUE(g_events.empty());
  EXPECT_EQ(errorOf([&] { root("HostTest.Plain", "", true); }).number(), ec::errors::kContractHeaderNotFound);
}

TEST(Host, RegistryReplacementAndCreation) {
  Host& host = Host::instance();
  const std::string clsid = Sample::info().clsid();
  host.registerClass("HostTest.Sample", clsid, [] { return std::make_shared<Sample>("original"); }, &Sample::info());
  auto tagOf = [](const std::shared_ptr<ec::Component>& c) { return std::dynamic_pointer_cast<Sample>(c)->tag; };

  EXPECT_EQ(tagOf(host.create("HostTest.Sample")), "original");
  EXPECT_EQ(tagOf(host.create("hosttest.SAMPLE")), "original");
  EXPECT_EQ(tagOf(host.createByClsid(clsid)), "original");
  EXPECT_EQ(tagOf(host.createByClsid(lower(clsid))), "original");
  EXPECT_EQ(host.classInfo("HostTest.Sample"), &Sample::info());
  EXPECT_EQ(host.create("HostTest.Sample")->typeName(), "Sample");

  {
    ec::ScopedRegistration dbl("HostTest.Sample", [] { return std::make_shared<Sample>("double"); });
    EXPECT_EQ(tagOf(host.create("HostTest.Sample")), "double");
    EXPECT_EQ(tagOf(host.createByClsid(clsid)), "double") << "the double takes over the class identity";
    EXPECT_EQ(host.classInfo("HostTest.Sample"), &Sample::info());
  }
  EXPECT_EQ(tagOf(host.create("HostTest.Sample")), "original");
  {
    // Replacing under another spelling of the name replaces the same registration.
    ec::ScopedRegistration dbl("HOSTTEST.sample", [] { return std::make_shared<Sample>("double"); });
    EXPECT_EQ(tagOf(host.create("HostTest.Sample")), "double");
  }
  EXPECT_EQ(tagOf(host.create("HostTest.Sample")), "original");
  auto names = host.classNames();
  EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& n) { return lower(n) == "hosttest.sample"; }),
            1);
  {
    ec::ScopedRegistration fresh("HostTest.Fresh", [] { return std::make_shared<Sample>("fresh"); });
    EXPECT_TRUE(host.isRegistered("HostTest.Fresh"));
  }
  EXPECT_FALSE(host.isRegistered("HostTest.Fresh"));

  EXPECT_EQ(errorOf([&] { host.create("HostTest.Unknown"); }).number(), pe::kCannotCreateObject);
  EXPECT_EQ(errorOf([&] { host.createByClsid("{00000000-0000-0000-0000-000000000000}"); }).number(),
            pe::kCannotCreateObject);
  {
    ec::ScopedRegistration broken("HostTest.Sample", [] { return std::shared_ptr<ec::Component>(); });
    EXPECT_EQ(errorOf([&] { host.create("HostTest.Sample"); }).number(), pe::kCannotCreateObject);
    EXPECT_EQ(errorOf([&] { host.createByClsid(clsid); }).number(), pe::kCannotCreateObject);
  }
  EXPECT_EQ(errorOf([] { ec::createAs<Worker>("HostTest.Sample"); }).number(), pe::kTypeMismatch);
  EXPECT_EQ(ec::createAs<Sample>("HostTest.Sample")->tag, "original");

  // Outside a root call nothing creates a context.
  EXPECT_EQ(ObjectContext::current(), nullptr);
  host.unregisterClass("HostTest.Sample");
  EXPECT_FALSE(host.isRegistered("HostTest.Sample"));
}

TEST(Errors, RaisingByNumberAndConvertingWhateverIsInFlight) {
  ComError e = errorOf([] { ec::raiseNumber(pe::kOverflow); });
  EXPECT_EQ(e.number(), 6);
  EXPECT_EQ(e.source(), ec::kDefaultErrorSource);
  EXPECT_EQ(e.description(), "Overflow");
  EXPECT_EQ(e.helpFile(), "");
  EXPECT_EQ(e.helpContext(), 0);
  e = errorOf([] { ec::raiseNumber(ec::errors::kContractHeaderNotFound, "TQSourceContractMTS"); });
  EXPECT_EQ(e.source(), "TQSourceContractMTS");
  EXPECT_EQ(e.description(), "Application-defined or object-defined error");
  EXPECT_EQ(std::string(e.what()), "error 0x80040402 (TQSourceContractMTS): Application-defined or object-defined error");
  e = errorOf([] { ec::raiseError(ec::errors::kNoSendMethod, "", "Send method not exists for the business partner"); });
  EXPECT_EQ(e.source(), "");
  EXPECT_EQ(e.description(), "Send method not exists for the business partner");
  const ComError full(ec::errors::kAttachmentNotFound, "src", "desc", "help.chm", 42);
  EXPECT_EQ(full.helpFile(), "help.chm");
  EXPECT_EQ(full.helpContext(), 42);

  EXPECT_EQ(ec::hexNumber(ec::errors::kNoConfigurationStore), "8004041D");
  EXPECT_EQ(ec::hexNumber(5), "5");
  EXPECT_EQ(ec::hexNumber(-1), "FFFFFFFF");
  EXPECT_EQ(ec::errors::kContractLineNotFound, static_cast<int32_t>(0x80040404u));

  auto inFlight = [](const std::function<void()>& f) {
    try {
      f();
    } catch (...) {
      return ec::toComError(std::current_exception());
    }
    return ComError();
  };
  EXPECT_EQ(inFlight([] { ec::raiseNumber(pe::kTypeMismatch); }).number(), pe::kTypeMismatch);
  e = inFlight([] { throw std::runtime_error("disk on fire"); });
  EXPECT_EQ(e.number(), pe::kInternalError);
  EXPECT_EQ(e.description(), "disk on fire");
  EXPECT_EQ(inFlight([] { throw std::bad_alloc(); }).number(), pe::kOutOfMemory);
  EXPECT_EQ(inFlight([] { throw 42; }).number(), pe::kInternalError);
  EXPECT_EQ(ec::toComError(nullptr).number(), 0);
}

}  // namespace
