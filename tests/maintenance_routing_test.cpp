// Routing contract lines for approval (TQSourceContractMTS.Contract.RouteContract) with the
// quotation follow-up, against scripted workflow, quotation and decision components where
// an edge case needs a particular answer, and against the shipped ones for the rest.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "platform/db/db.h"
#include "platform/dictionary.h"
#include "suite/master_data.h"
#include "suite/workflow.h"
#include "tests/binary_support.h"
#include "tests/fault_loop.h"
#include "tests/test_support.h"

namespace {

using ec::Args;
using ec::Dictionary;
using ec::Variant;
using ectest::errorOf;

constexpr const char* kClass = "TQSourceContractMTS.Contract";
const Variant kMissing = Variant::missing();

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A component whose one operation runs a script; every argument is taken by reference.
class Scripted : public ec::Component {
 public:
  explicit Scripted(const ec::ClassInfo* info) : info_(info) {}
  const ec::ClassInfo& classInfo() const override { return *info_; }

 private:
  const ec::ClassInfo* info_;
};

struct ScriptedClass {
  ScriptedClass(const char* name, const char* op, int params, std::function<Variant(Args&)> fn)
      : info(name, "{00000000-0000-0000-0000-00000000F10E}", false),
        registration(name, [this] { return std::make_shared<Scripted>(&info); }, &info) {
    std::vector<ec::ParamInfo> ps;
    for (int i = 0; i < params; ++i) ps.push_back(ec::Param::ref("a" + std::to_string(i), ec::ArgKind::Variant));
    info.op<Scripted>(op, ps, ec::ArgKind::Variant, [fn = std::move(fn)](Scripted&, Args& a) { return fn(a); });
  }
  ec::ClassInfo info;
  ec::ScopedRegistration registration;
};

class RoutingTest : public ContractTest {
 protected:
  RoutingTest() {
    exec("INSERT INTO CONTRACTHEADER (CONTRACTHEADERID, BUSINESSPARTNERID, CATEGORYID) VALUES (1, 7, 5)");
    exec("INSERT INTO CONTRACTHEADER (CONTRACTHEADERID, BUSINESSPARTNERID, CATEGORYID) VALUES (2, 8, NULL)");
  }
  // A line of product 100 valid through 2026, with two attachment revisions Under Approval.
  void line(int h, int l, const std::string& origin = "1", const std::string& quotation = "NULL", int status = 1) {
    const std::string key = std::to_string(h) + ", " + std::to_string(l);
    exec("INSERT INTO CONTRACTLINE (CONTRACTHEADERID, CONTRACTLINEID, PRODUCTID, CONTRACTSTATUS, ORIGIN, QUOTATIONID, "
         "EFFECTIVEDATETIME, EXPIRYDATETIME) VALUES (" + key + ", 100, " + std::to_string(status) + ", " + origin +
         ", " + quotation + ", '2026-01-01 00:00:00', '2026-12-31 00:00:00')");
    for (int rev : {0, 1})
      exec("INSERT INTO CONTRACTATTACHMENT (ATTACHMENTID, REVISIONNUMBER, CONTRACTHEADERID, CONTRACTLINEID, "
           "ATTACHMENTSTATUS) VALUES (" + std::to_string(h * 100 + l) + ", " + std::to_string(rev) + ", " + key +
           ", 2)");
  }
  void clearLines() {
    exec("DELETE FROM CONTRACTLINE");
    exec("DELETE FROM CONTRACTATTACHMENT");
  }
  int32_t status(int h, int l) {
    return scalar("SELECT CONTRACTSTATUS FROM CONTRACTLINE WHERE CONTRACTHEADERID=" + std::to_string(h) +
                  " AND CONTRACTLINEID=" + std::to_string(l)).toInt32();
  }
  // The statuses of the line's two attachment revisions, "2,2" as made.
  std::string attachmentStatuses(int h, int l) {
    std::string out;
    for (int rev : {0, 1})
      out += (rev ? "," : "") + scalar("SELECT ATTACHMENTSTATUS FROM CONTRACTATTACHMENT WHERE CONTRACTHEADERID=" +
                                       std::to_string(h) + " AND CONTRACTLINEID=" + std::to_string(l) +
                                       " AND REVISIONNUMBER=" + std::to_string(rev)).toString();
    return out;
  }
  void route(const std::string& user, int h, int l, std::shared_ptr<Dictionary> params, int step,
             const Variant& isLastRouter = Variant::missing()) {
    Args args{Variant(user), Variant(h), Variant(l), Variant(params), Variant(step), isLastRouter};
    ec::Host::instance().callRoot(kClass, "RouteContract", args);
  }
  void loadSuite(const std::string& json) { suite::loadSuiteData(env().suiteConn(), json, "routing data"); }
  nlohmann::ordered_json report(int h, int l) { return suite::workflowReport(env().suiteConn(), h, l); }
};

// The workflow's answers decide the line's status; a scripted workflow gives each answer.
TEST_F(RoutingTest, EveryBranchOfTheWorkflowsAnswers) {
  Variant moreRoutersLeft, routedForApproval, approved;
  int moreRoutersCalls = 0;
  std::vector<bool> isLastPassed;
  ScriptedClass workflow("TQSourceWorkflow.Workflow", "MoreRoutersLeftForOperation", 4, [&](Args& a) {
    EXPECT_EQ(a[1].toInt32(), 4);  // document type ContractLine
    ++moreRoutersCalls;
    return moreRoutersLeft;
  });
  ScriptedClass maintain("TQSourceWorkflow.MaintainWorkflow", "RouteNext", 7, [&](Args& a) {
    EXPECT_EQ(a[0].str(), "user1");
    EXPECT_EQ(a[3].toInt32(), 4);
    isLastPassed.push_back(a[5].toBool());
    // The workflow hands back a dictionary of its own through the by-reference argument.
    auto answers = Dictionary::make();
    if (!routedForApproval.isMissing()) answers->add(Variant("ROUTEDFORAPPROVAL"), routedForApproval);
    if (!approved.isMissing()) answers->add(Variant("APPROVED"), approved);
    a[2] = Variant(answers);
    return Variant();
  });

  struct Case {
    const char* name;
    int step;
    Variant isLastRouter, moreRoutersAnswer, routed, approvedAnswer;
    bool olderContract;
    int expectedStatus;
    const char* expectedAttachments;
    bool expectedIsLast;
  };
  const Case cases[] = {
      {"created, no approval", 9, kMissing, Variant(false), Variant(false), kMissing, false, 6, "2,2", true},
      {"created, routed", 9, kMissing, Variant(false), Variant(true), kMissing, false, 2, "2,2", true},
      {"created, no ROUTEDFORAPPROVAL", 9, kMissing, Variant(true), kMissing, kMissing, false, 6, "2,2", false},
      {"created, ROUTEDFORAPPROVAL null", 9, kMissing, Variant(false), Variant::null(), kMissing, false, 2, "2,2", true},
      {"last approval, older contract", 7, kMissing, Variant(false), kMissing, Variant(1), true, 5, "2,2", true},
      {"last approval, no older contract", 7, kMissing, Variant(false), kMissing, Variant(1), false, 6, "5,5", true},
      {"last router rejects", 7, kMissing, Variant(false), kMissing, Variant(0), false, 4, "2,2", true},
      {"last router, no APPROVED", 7, kMissing, Variant(false), kMissing, kMissing, false, 4, "2,2", true},
      {"last router, APPROVED null", 7, kMissing, Variant(false), kMissing, Variant::null(), false, 1, "2,2", true},
      {"routers remain (workflow)", 7, kMissing, Variant(true), kMissing, Variant(1), false, 1, "2,2", false},
      {"routers remain (caller)", 7, Variant(false), kMissing, kMissing, Variant(1), false, 1, "2,2", false},
      {"last router (caller)", 7, Variant(true), kMissing, kMissing, Variant(1), false, 6, "5,5", true},
      {"another step", 1, kMissing, Variant(false), Variant(false), Variant(1), false, 1, "2,2", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clearLines();
    line(1, 1);
    if (c.olderContract) line(1, 2, "1", "NULL", 6);
    moreRoutersLeft = c.moreRoutersAnswer;
    routedForApproval = c.routed;
    approved = c.approvedAnswer;
    moreRoutersCalls = 0;
    isLastPassed.clear();
    route("user1", 1, 1, Dictionary::make(), c.step, c.isLastRouter);
    EXPECT_EQ(status(1, 1), c.expectedStatus);
    EXPECT_EQ(attachmentStatuses(1, 1), c.expectedAttachments);
    EXPECT_EQ(moreRoutersCalls, c.isLastRouter.isMissing() ? 1 : 0);
    EXPECT_EQ(isLastPassed, std::vector<bool>{c.expectedIsLast});
  }
  EXPECT_TRUE(logEntries().empty());
}

// A line made effective reports its quotation's contract result once, and only then.
TEST_F(RoutingTest, QuotationFollowUp) {
  ScriptedClass workflow("TQSourceWorkflow.MaintainWorkflow", "RouteNext", 7, [](Args&) { return Variant(); });
  Variant crtUpdated;
  std::vector<int32_t> asked;
  std::vector<std::string> recorded;
  ScriptedClass quotation("TQSourceExchange.Quotation", "CRTUpdatedForQuotation", 1, [&](Args& a) {
    asked.push_back(a[0].toInt32());
    return crtUpdated;
  });
  ScriptedClass decision("TQSourceDecision.Result", "UpdateCRT", 3, [&](Args& a) {
    recorded.push_back(a[0].toString() + "/" + a[1].toString() + "/" + a[2].toString());
    return Variant();
  });
  struct Case {
    const char* name;
    const char* origin;
    Variant updated;
    std::vector<int32_t> asked;
    std::vector<std::string> recorded;
    int status;
  };
  const Case cases[] = {
      {"manual line", "1", Variant(false), {}, {}, 6},
      {"already updated", "2", Variant(true), {5001}, {}, 6},
      {"answer null", "2", Variant::null(), {5001}, {}, 6},
      {"not yet updated", "2", Variant(false), {5001}, {"5001/2/100"}, 6},
      {"null ORIGIN", "NULL", Variant(false), {}, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clearLines();
    line(1, 1, c.origin, "5001");
    crtUpdated = c.updated;
    asked.clear();
    recorded.clear();
    if (c.status == 1) {
      // The conversion fails the routing call, and the abort takes the status back.
      const auto err = errorOf([&] { route("user1", 1, 1, Dictionary::make(), 9, Variant(true)); });
      EXPECT_EQ(err.number(), ec::platform_errors::kTypeMismatch);
      EXPECT_TRUE(contains(err.description(), "TQSourceContractMTS.Contract.RouteContract"));
    } else {
      route("user1", 1, 1, Dictionary::make(), 9, Variant(true));
    }
    EXPECT_EQ(status(1, 1), c.status);
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(recorded, c.recorded);
  }
}

// The shipped workflow routes along the chain of the header's category and refuses steps
// that do not fit, changing nothing; its quotation and decision components record the result.
TEST_F(RoutingTest, ShippedWorkflowAlongTheChain) {
  loadSuite(R"({"approvalChains": [{"categoryId": 5, "approvers": ["approver1", "approver2"]},
                                    {"categoryId": null, "approvers": []}],
                "quotations": [{"id": 5001}]})");
  line(1, 1, "2", "5001");
  line(2, 1);
  line(1, 2, "2", "77");
  const auto decide = [](const char* d) { return Dictionary::make({{"DECISION", d}}); };
  struct Step {
    const char* name;
    const char* user;
    int h, l, step;
    std::shared_ptr<Dictionary> params;
    Variant isLastRouter;
    const char* error;  // part of the refusal, "" for none
    int status;
    const char* currentRouter;  // "" for none
  };
  const Step steps[] = {
      {"created", "buyer1", 1, 1, 9, Dictionary::make(), kMissing, "", 2, "approver1"},
      {"out of turn", "approver2", 1, 1, 7, decide("APPROVE"), kMissing, "the current router is \"approver1\"", 2,
       "approver1"},
      {"no decision", "approver1", 1, 1, 7, Dictionary::make(), kMissing, "hold no DECISION", 2, "approver1"},
      {"reject as not last", "approver1", 1, 1, 7, decide("REJECT"), kMissing, "A rejection ends the routing", 2,
       "approver1"},
      {"approve as last", "approver1", 1, 1, 7, decide("APPROVE"), Variant(true), "not the last one", 2, "approver1"},
      {"first approval", "approver1", 1, 1, 7, decide("APPROVE"), kMissing, "", 2, "approver2"},
      {"last approval", "approver2", 1, 1, 7, decide("APPROVE"), kMissing, "", 6, ""},
      {"after the end", "approver2", 1, 1, 7, decide("APPROVE"), kMissing, "is not waiting for an approval", 6, ""},
      {"no category, empty chain", "buyer1", 2, 1, 9, Dictionary::make(), kMissing, "", 6, ""},
      {"unknown quotation", "buyer1", 1, 2, 9, Dictionary::make(), kMissing, "", 2, "approver1"},
      {"rejected", "approver1", 1, 2, 7, decide("REJECT"), Variant(true), "", 4, ""},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    const auto before = report(s.h, s.l);
    if (*s.error) {
      const auto err = errorOf([&] { route(s.user, s.h, s.l, s.params, s.step, s.isLastRouter); });
      EXPECT_EQ(err.number(), 5);
      EXPECT_EQ(err.source(), "TQSourceWorkflow.MaintainWorkflow");
      EXPECT_TRUE(contains(err.description(), s.error)) << err.description();
      EXPECT_EQ(report(s.h, s.l), before);
    } else {
      route(s.user, s.h, s.l, s.params, s.step, s.isLastRouter);
    }
    EXPECT_EQ(status(s.h, s.l), s.status);
    const auto now = report(s.h, s.l);
    EXPECT_EQ(now["currentRouter"], *s.currentRouter ? nlohmann::ordered_json(s.currentRouter) : nullptr);
  }
  const auto history = report(1, 1)["history"];
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(history[1]["user"], "approver1");
  EXPECT_EQ(history[1]["decision"], "APPROVE");
  EXPECT_EQ(history[2]["outcome"], "approved");
  EXPECT_EQ(report(1, 2)["state"], "REJECTED");
  EXPECT_EQ(attachmentStatuses(1, 1), "5,5");
  EXPECT_EQ(attachmentStatuses(2, 1), "2,2");  // effective at creation: attachments untouched

  // The quotation of line (1, 1) has its contract result; an unknown quotation is named.
  auto suiteDb = ec::db::openPhysical(env().suiteConn(), false);
  const auto results = suiteDb->query("SELECT QUOTATIONID, RESULTTYPE, PRODUCTID FROM QUOTATIONRESULT", 0);
  ASSERT_EQ(results.rowCount(), 1u);
  EXPECT_EQ(results.values[1].toInt32(), 2);
  EXPECT_EQ(results.values[2].toInt32(), 100);
  Args ask{Variant(5001)};
  EXPECT_TRUE(ec::Host::instance().callRoot("TQSourceExchange.Quotation", "CRTUpdatedForQuotation", ask).toBool());
  exec("UPDATE CONTRACTLINE SET CONTRACTSTATUS = 1 WHERE CONTRACTLINEID = 2");
  loadSuite(R"({"approvalChains": [{"categoryId": 5, "approvers": []}]})");
  const auto err = errorOf([&] { route("buyer1", 1, 2, Dictionary::make(), 9); });
  EXPECT_TRUE(contains(err.description(), "Unknown quotation 77")) << err.description();
  EXPECT_EQ(status(1, 2), 1);
}

// One root call: a later failure leaves the line, its attachments and the recorded routing
// as they were, whichever statement fails.
TEST_F(RoutingTest, AbortLeavesEverythingAsItWas) {
  loadSuite(R"({"approvalChains": [{"categoryId": 5, "approvers": ["approver1", "approver2"]}],
                "quotations": [{"id": 5001}]})");
  const auto suiteBefore = ectest::databaseDigest(env().suiteConn());
  const auto err = errorOf([&] { route("buyer1", 1, 9, Dictionary::make(), 9); });  // no such line
  EXPECT_EQ(err.number(), ec::errors::kContractLineNotFound);
  EXPECT_TRUE(contains(err.description(), "RouteContract") && contains(err.description(), "SetContractStatus"));
  EXPECT_EQ(ectest::databaseDigest(env().suiteConn()), suiteBefore);

  line(1, 1, "2", "5001");
  ectest::FaultLoopOptions options;
  options.databases = {env().suiteConn()};
  const auto created = ectest::runFaultLoop(env(), [&] { route("buyer1", 1, 1, Dictionary::make(), 9); }, options);
  route("approver1", 1, 1, Dictionary::make({{"DECISION", "APPROVE"}}), 7);
  const auto approved = ectest::runFaultLoop(
      env(), [&] { route("approver2", 1, 1, Dictionary::make({{"DECISION", "APPROVE"}}), 7); }, options);
  EXPECT_GT(created.statements, 5);
  EXPECT_GT(approved.statements, created.statements);
  EXPECT_EQ(status(1, 1), 6);
  EXPECT_EQ(attachmentStatuses(1, 1), "5,5");
  std::cout << "[ fault loop ] document creation: " << created.statements << " statements, " << created.faults
            << " faults; last approval: " << approved.statements << " statements, " << approved.faults << " faults\n";
}

// Through the econtract binary: a line routed through a two-approver chain to Active.
TEST_F(RoutingTest, CommandLineRoutesThroughTwoApprovers) {
  line(1, 1);
  ectest::spit(env().dir() / "chains.json",
               R"({"approvalChains": [{"categoryId": 5, "approvers": ["approver1", "approver2"]}]})");
  const std::string config = "ECONTRACT_CONFIG=" + ectest::quoted(env().configPath());
  const auto run = [&](const std::string& args) { return ectest::runEcontract(env().dir(), args, {}, config); };
  ASSERT_EQ(run("suite load chains.json").status, 0);
  for (const char* call : {R"(["buyer1", 1, 1, {}, 9])", R"(["approver1", 1, 1, {"DECISION": "APPROVE"}, 7])",
                           R"(["approver2", 1, 1, {"DECISION": "APPROVE"}, 7])"}) {
    const auto r = run("call TQSourceContractMTS.Contract RouteContract " + ectest::quoted(call));
    ASSERT_EQ(r.status, 0) << call << r.out << r.err;
    EXPECT_EQ(status(1, 1), contains(call, "approver2") ? 6 : 2) << call;
  }
  const auto shown = run("workflow show 1 1");
  ASSERT_EQ(shown.status, 0) << shown.err;
  const auto j = nlohmann::json::parse(shown.out);
  EXPECT_EQ(j["chain"], nlohmann::json({"approver1", "approver2"}));
  EXPECT_EQ(j["state"], "APPROVED");
  EXPECT_TRUE(j["currentRouter"].is_null());
  ASSERT_EQ(j["history"].size(), 3u);
  EXPECT_EQ(j["history"][2]["user"], "approver2");
}

// The master-data fields, and suite-data entries the workflow and quotations refuse.
TEST_F(RoutingTest, CategoryAndProductFieldsAndSuiteDataChecks) {
  Args category{Variant(5), Variant(ec::SafeArray::of({Variant("GENERATIONINTERVAL"), Variant("NONE")}))};
  ec::Host& host = ec::Host::instance();
  const auto fields = host.callRoot("TQSourceCategory.Category", "GetCategoryFields", category).dictionary();
  EXPECT_EQ(fields->get(Variant("GENERATIONINTERVAL")).toInt32(), 30);
  EXPECT_TRUE(fields->exists(Variant("NONE")) && fields->get(Variant("NONE")).isEmpty());
  Args product{Variant(ec::SafeArray::of({Variant("GTIN")})), Variant(101), Variant("")};
  EXPECT_EQ(host.callRoot("VCatalog.Product", "GetProductFields", product).dictionary()->get(Variant("GTIN")).str(),
            "04012345678902");
  Args unknown{Variant(ec::SafeArray::of({Variant("GTIN")})), Variant(999), Variant("")};
  EXPECT_EQ(errorOf([&] { host.callRoot("VCatalog.Product", "GetProductFields", unknown); }).description(),
            "Unknown product 999");

  const std::pair<const char*, const char*> bad[] = {
      {R"({"approvalChains": [{"approvers": ["a"]}]})", "approvalChains[0].categoryId: missing"},
      {R"({"approvalChains": [{"categoryId": 5, "approvers": ["a", 3]}]})", "approvalChains[0].approvers[1]"},
      {R"({"quotations": [{"id": 1, "crtUpdated": "no"}]})", "quotations[0].crtUpdated"},
  };
  for (const auto& [json, where] : bad)
    EXPECT_TRUE(contains(errorOf([&] { loadSuite(json); }).description(), where)) << json;
}

}  // namespace
