// The JSON value form of the command line: any text either is refused with a short
// message (error 5, source "econtract") or reads into a value whose JSON form reads back
// into the same JSON form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "cli/json_value.h"
#include "platform/error.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

void checkRefusal(const ec::ComError& e) {
  check(e.number() == cli::kJsonErrorNumber, "refusal number");
  check(e.source() == cli::kJsonErrorSource, "refusal source");
  check(e.description().size() <= 1024, "refusal message is bounded");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  cli::Json j;
  ec::Variant v;
  try {
    j = cli::parseJson(text);
    v = cli::fromJson(j);
  } catch (const ec::ComError& e) {
    checkRefusal(e);
    return 0;
  }
  // A value read from JSON always has a JSON form, and that form is stable.
  const cli::Json written = cli::toJson(v);
  const std::string dumped = cli::dumpJson(written);
  const cli::Json again = cli::toJson(cli::fromJson(cli::parseJson(dumped)));
  check(again == written, "round trip of the JSON form");
  check(cli::dumpJsonShort(written, 80).size() <= 80, "short form is bounded");
  return 0;
}
