#include "suite/outbox.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <ctime>

#include "platform/dictionary.h"
#include "platform/error.h"
#include "platform/fs_atomic.h"
#include "platform/safearray.h"
#include "platform/xml.h"
#include "suite/configuration.h"

namespace suite {

namespace stdfs = std::filesystem;
using ec::ArgKind;
using ec::Args;
using ec::Param;
using ec::Variant;
namespace pe = ec::platform_errors;

namespace {

constexpr size_t kStampLength = 23;  // YYYYMMDDTHHMMSS.ffffffZ
constexpr size_t kMaxPartLength = 120;
constexpr int kMaxNameAttempts = 1000;

[[noreturn]] void fail(int32_t number, const std::string& text) { ec::raiseError(number, kOutboxErrorSource, text); }

// Letters, digits and '_' as they are, every other byte %XX.
std::string encodePart(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (std::isalnum(c) || c == '_') {
      out += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

std::optional<std::string> decodePart(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isalnum(c) || c == '_') {
      out += static_cast<char>(c);
    } else if (c == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

// The time of publication as microseconds since the epoch: now, or one microsecond after
// the last one this process gave, so that names never go backwards within the process.
int64_t nextStamp() {
  static std::mutex mu;
  static int64_t last = 0;
  const int64_t now = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  std::lock_guard<std::mutex> lock(mu);
  last = std::max(now, last + 1);
  return last;
}

std::string stampText(int64_t micros) {
  const std::time_t secs = static_cast<std::time_t>(micros / 1000000);
  std::tm tm{};
  ::gmtime_r(&secs, &tm);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02d.%06dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(micros % 1000000));
  return buf;
}

// The documents staged by one transaction for one outbox folder: named together when it
// commits, removed when it rolls back.
class OutboxTransaction : public ec::TransactionResource {
 public:
  struct Pending {
    std::unique_ptr<ec::fs::StagedFile> file;
    std::string type, partner;  // encoded for the name
  };
  void add(Pending p) { pending_.push_back(std::move(p)); }

  void commit() override {
    size_t done = 0;
    try {
      for (; done < pending_.size(); ++done) {
        Pending& p = pending_[done];
        bool named = false;
        for (int attempt = 0; !named; ++attempt) {
          if (attempt == kMaxNameAttempts)
            fail(pe::kFileAlreadyExists, "No free name for a document in the outbox " + p.file->folder().string());
          named = p.file->commitAs(stampText(nextStamp()) + "-" + p.type + "-" + p.partner + ".xml");
        }
      }
    } catch (...) {
      // All or nothing: the documents already named are taken back out.
      for (size_t i = 0; i < done; ++i) pending_[i].file->withdraw();
      pending_.clear();
      throw;
    }
    pending_.clear();
  }
  void rollback() override { pending_.clear(); }
  // Named after the databases have committed, so that a failed database commit still
  // takes the documents back.
  bool commitsLast() const override { return true; }

 private:
  std::vector<Pending> pending_;
};

// The text of the first child element of root with that name, if any.
std::optional<std::string> headerValue(const ec::xml::Node& root, const char* name) {
  for (ec::xml::Node n = root.firstChild(); n; n = n.nextSibling())
    if (n.name() == name) return n.text();
  return std::nullopt;
}

bool emptyCollection(const Variant& c) {
  if (c.isMissing() || c.isEmpty() || c.isNull() || c.isNothing()) return true;
  if (c.isArray()) return c.array().empty();
  if (auto d = c.objectAs<ec::Dictionary>()) return d->count() == 0;
  return false;
}

}  // namespace

const ec::ClassInfo& PrivateOfferPublisher::info() {
  static const ec::ClassInfo ci = [] {
    ec::ClassInfo c(kPrivateOfferPublisherClass, kPrivateOfferPublisherClassId, false,
                    "Delivers published documents into the outbox folder");
    c.sub<PrivateOfferPublisher>(
        "Publish", {Param::in("Document", ArgKind::String), Param::opt(Param::in("Collection", ArgKind::Variant))},
        [](PrivateOfferPublisher& p, Args& a) { p.Publish(a[0].str(), a[1]); },
        "Delivers an XML document with a publish header into the outbox");
    return c;
  }();
  return ci;
}

void PrivateOfferPublisher::Publish(const std::string& document, const Variant& collection) {
  if (!emptyCollection(collection))
    fail(pe::kInvalidProcedureCall, "The outbox takes the document only: the collection to send along must be empty");
  ec::xml::Document doc;
  if (!doc.loadXml(document)) fail(pe::kInvalidProcedureCall, "The document to publish is not well-formed XML");
  const ec::xml::Node root = doc.documentElement();
  const auto type = headerValue(root, "DOCTYPE-ID");
  const auto partner = headerValue(root, "BUSINESSPARTNER");
  if (!type || !partner)
    fail(pe::kInvalidProcedureCall,
         "The document to publish has no publish header (DOCTYPE-ID and BUSINESSPARTNER under its root element)");
  OutboxTransaction::Pending p{nullptr, encodePart(*type), encodePart(*partner)};
  if (p.type.empty() || p.partner.empty() || p.type.size() > kMaxPartLength || p.partner.size() > kMaxPartLength)
    fail(pe::kInvalidProcedureCall, "The document type and the business partner of a published document must be "
                                    "given and short enough for a file name");

  const stdfs::path folder = outboxFolder();
  std::error_code ec;
  if (!stdfs::is_directory(folder, ec)) {
    // One level is made, as `econtract init` would; a missing parent is a configuration fault.
    stdfs::create_directory(folder, ec);
    if (ec && !stdfs::is_directory(folder))
      fail(pe::kPathNotFound, "The outbox folder " + folder.string() + " cannot be created: " + ec.message());
  }
  p.file = std::make_unique<ec::fs::StagedFile>(folder, "document", document);

  ec::ObjectContext* ctx = ec::ObjectContext::current();
  if (!ctx) {
    OutboxTransaction now;
    now.add(std::move(p));
    now.commit();
    return;
  }
  const std::string key = "outbox:" + folder.string();
  auto* tx = dynamic_cast<OutboxTransaction*>(ctx->resource(key));
  if (!tx) {
    auto fresh = std::make_shared<OutboxTransaction>();
    tx = fresh.get();
    ctx->enlist(key, std::move(fresh));
  }
  tx->add(std::move(p));
}

std::vector<OutboxDocument> listOutbox(const std::string& folder) {
  std::vector<OutboxDocument> docs;
  std::error_code ec;
  stdfs::directory_iterator it(folder, ec);
  if (ec) fail(pe::kPathNotFound, "The outbox folder " + folder + " cannot be read: " + ec.message());
  for (; it != stdfs::directory_iterator(); it.increment(ec)) {
    if (ec) fail(pe::kPathFileAccessError, "The outbox folder " + folder + " cannot be read: " + ec.message());
    std::error_code fec;
    if (!it->is_regular_file(fec)) continue;
    const std::string name = it->path().filename().string();
    // STAMP-TYPE-PARTNER.xml
    if (name.size() < kStampLength + 8 || name.compare(name.size() - 4, 4, ".xml") != 0 || name[kStampLength] != '-')
      continue;
    const std::string stamp = name.substr(0, kStampLength);
    const std::string rest = name.substr(kStampLength + 1, name.size() - kStampLength - 5);
    const size_t dash = rest.find('-');
    if (dash == std::string::npos || stamp[8] != 'T' || stamp[15] != '.' || stamp.back() != 'Z') continue;
    const auto type = decodePart(rest.substr(0, dash));
    const auto partner = decodePart(rest.substr(dash + 1));
    if (!type || !partner) continue;
    const std::string time = stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + "T" +
                             stamp.substr(9, 2) + ":" + stamp.substr(11, 2) + ":" + stamp.substr(13, 2) +
                             stamp.substr(15);
    docs.push_back({name, *type, *partner, time});
  }
  std::sort(docs.begin(), docs.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return docs;
}

}  // namespace suite
