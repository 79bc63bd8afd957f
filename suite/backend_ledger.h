// TQSourceBackend.BOIProcessor as shipped: a backend ledger that keeps, in the suite
// database, what each backend ERP system received, so that the product runs on its own and
// an integrator can see what an ERP would get.
//
// Backend systems come from the suite-data section "backendSystems":
//   "backendSystems": [ {"id": 3, "name": "ERP North", "units": ["PCE", "BOX"],
//                        "currencies": ["EUR", "USD"]} ]
// id (32-bit) and name are required; without "units" (or "currencies") every unit (or
// currency) is accepted, with a list only those listed (an empty list accepts none). An
// entry replaces the stored system with the same id; the contracts it holds stay.
//
// CreateContract(BISID, contract data array (line, cell 0..32, break-up row), result):
// every line whose unit (cell 25) and currency (cell 10) the system accepts is stored under
// one new backend contract identifier per call ("C000001", counting per system) with a line
// identifier per line ("C000001/1", "C000001/2", ...), and cells 0 and 20 of the line are
// set to them. A refused line (unknown system, unit or currency) is not stored and gets a
// result row (error text, 1-based position); the result is a two-dimensional array (row,
// column 0..1) with one spare row at the end. Cells are kept as passed: every cell at
// break-up row 0, cells 30 and 31 at every break-up row.
//
// ShowContract(BISID, backend header id, backend line id, values, errors): for a known line
// values = (header id, line id, called quantity, called value, invoiced value, invoiced
// quantity); otherwise values is a single Empty element and errors (0 to 0, 0 to 0) holds
// the error text; errors is left as passed for a known line.
//
// Called and invoiced figures start at 0 and grow with postBackendFigures
// (`econtract backend post`), as an ERP reports call-offs and invoices.
//
// Inside a root call the ledger's connection enlists in the call's transaction: what a
// failed call wrote is rolled back with it. Errors of its own: Invalid procedure call or
// argument (5), source "TQSourceBackend.BOIProcessor".
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "suite/interfaces.h"
#include "suite/suite_data.h"

namespace suite {

inline constexpr const char* kBackendClassId = "{5B0E7C1A-3F2D-4E8B-9A61-0C4D2E7F1B05}";

class BackendLedger : public ec::Component {
 public:
  static const ec::ClassInfo& info();
  const ec::ClassInfo& classInfo() const override { return info(); }

  void CreateContract(int32_t bisId, ec::Variant& contractData, ec::Variant& result);
  void ShowContract(int32_t bisId, const ec::Variant& backendHeaderId, const ec::Variant& backendLineId,
                    ec::Variant& values, ec::Variant& errors);
};

// The "backendSystems" section: reader and tables.
void readBackendSystems(const SuiteDataReader& reader, const nlohmann::json& member, SuiteDataBatch& batch);
std::vector<std::string> backendLedgerDdl();

struct BackendSystem {
  int32_t id = 0;
  std::string name;
  std::optional<std::vector<std::string>> units, currencies;  // nullopt: any accepted
};

struct BackendFigures {
  double calledQuantity = 0, calledValue = 0, invoicedQuantity = 0, invoicedValue = 0;
};

// What the ledger holds for one backend system, contracts and lines in the order stored.
struct BackendSystemReport {
  struct Cell {
    int32_t cell = 0, row = 0;
    ec::Variant value;
  };
  struct Line {
    std::string backendLineId;
    int32_t position = 0;  // 1-based position in the contract data array it came in
    std::vector<Cell> cells;  // by cell, then break-up row
    BackendFigures figures;
  };
  struct Contract {
    std::string backendHeaderId;
    std::vector<Line> lines;
  };
  BackendSystem system;
  std::vector<Contract> contracts;
};

// Adds the figures to the line's cumulative ones and returns the new totals. An unknown
// system or line is error 5 naming it.
BackendFigures postBackendFigures(const std::string& connStr, int32_t bisId, const std::string& backendLineId,
                                  const BackendFigures& add);
// An unknown system is error 5 naming it.
BackendSystemReport backendSystemReport(const std::string& connStr, int32_t bisId);

}  // namespace suite
