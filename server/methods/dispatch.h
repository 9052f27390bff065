#pragma once
// The method table of the remote modules: decodes the JSON body, checks the arguments, runs the
// method on a borrowed session and encodes the answer. Every failure becomes an error answer with
// a canonical code and a Portuguese message; the engine's own text goes to the log only.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/auth/sessions.h"
#include "server/errors.h"
#include "server/history/history.h"
#include "server/log.h"
#include "server/methods/answer.h"
#include "server/methods/answer_cache.h"
#include "server/methods/resend_guard.h"
#include "server/methods/work.h"
#include "server/store/session.h"
#include "server/store/store.h"

namespace kdr::server {

// {"error":{"code":...,"message":...}}, with "detail" when one is given (not null).
Answer errorAnswer(ErrorCode code, std::string_view message, const Variant &detail = nullptr);

// What a request says about who sends it: the key of its Authorization header, and whether that
// key is the server's machine token (checked by the front).
struct Credentials {
  std::string_view bearer;
  bool machine = false;
};

class Dispatcher {
public:
  // answerCacheBytes > 0 keeps answers of the reading methods (see AnswerCache): only for a
  // server that is the only writer of its database.
  explicit Dispatcher(Store &store, std::size_t answerCacheBytes = 0,
                      ResendGuard::Options resends = ResendGuard::Options{});
  // The operator of the request's session is the author of whatever it writes; a method runs
  // only when one of the operator's groups holds its authorisation. The machine token reaches
  // the cache snapshot only. resendKey: the request's Idempotency-Key; a write sent again with
  // the key of one already applied is answered with the first answer instead of being applied
  // twice (see ResendGuard).
  Answer call(std::string_view module, std::string_view method, std::string_view body,
              std::uint64_t requestId, const Credentials &credentials, std::string_view resendKey = {});
  // POST /session and DELETE /session; address: the client's, for slowing down guesses.
  Answer signIn(std::string_view body, const std::string &address, std::uint64_t requestId);
  Answer signOut(std::string_view bearer);
  // What kind of work a call is, for where the front runs it: writes (a write may wait for the
  // database's write lock); point reads, which answer from an index in a few microseconds; every
  // other read, which may be long (a whole table, a search that reads on). Each kind has workers
  // of its own, so that neither a long read nor a waiting write holds up a point read.
  // body: the request's, for the methods whose span depends on their arguments.
  enum class Place { Point, Readers, Writers };
  struct Plan {
    Place place = Place::Readers;
    bool known = false; // a method of the table (unknown ones are answered as such)
    // A point read whose answer the cache keeps: the call only checks who asks and copies the
    // kept answer, so the front may answer it at once instead of handing it to a worker. The
    // answer may still be dropped by a write in between; the call then runs the point read.
    bool kept = false;
  };
  Plan plan(std::string_view module, std::string_view method, std::string_view body) const;

  // What the server's metrics show of the methods: the answer cache's use and the whole tables
  // sent to hosts filling their local cache (their first load), by table.
  AnswerCache::Usage answerCacheUsage() const { return cache_.usage(); }
  Store &store() { return store_; }
  std::map<std::string, std::uint64_t> firstLoads() const;

private:
  enum class Arg { Text, Packet };
  // Live: a read of what the server itself holds now (a running work's progress), never kept in
  // the answer cache.
  enum class Access { Read, Write, Live };
  struct Outcome {
    Variant result;
    bool returnArgs = false;  // some argument is by reference: the answer carries them back
    std::string resultJson{}; // when not empty, the result already written as JSON
  };
  // The outcome of a method that wrote its result as JSON itself.
  static Outcome written(std::string json);
  // True when a call with these (decoded) arguments reads a few rows through an index.
  using PointTest = bool (*)(const std::vector<Variant> &args);
  struct Method {
    std::string name; // "Module/Method", for the log and the answer cache
    Access access;
    std::string_view need; // the authorisation code; empty: any signed-in operator
    std::vector<Arg> args;
    std::function<Outcome(Session &, const std::vector<Variant> &, const Author &)> run;
    bool point = false;            // a point read (see Place::Point)...
    PointTest pointWhen = nullptr; // ...whatever its arguments when null, else when this says so
  };

  void add(std::string_view module, std::string_view name, Access access, std::string_view need,
           std::vector<Arg> args,
           std::function<Outcome(Session &, const std::vector<Variant> &, const Author &)> run);
  void pointRead(std::string_view module, std::string_view name, PointTest when = nullptr);
  const Method *find(std::string_view module, std::string_view method) const;
  // The refusal of a caller who may not run the method with this body; empty when it may.
  std::optional<Answer> refusal(std::string_view module, const Method *m, std::string_view body,
                                const Credentials &credentials, std::string &author);
  // The answer cache's key of a call: the method and its arguments as sent.
  static std::string cacheKey(const Method &m, std::string_view body);
  // Whether a point-read method is one with these arguments (GetCliente without its all-flag).
  static bool pointByArguments(const Method &m, std::string_view body);
  // m is null for an unknown method; every failure becomes an error answer.
  // The answer of an admitted call: from the answer cache when it may be, else from the method.
  Answer answerFor(std::string_view module, std::string_view method, const Method *m, std::string_view body,
                   const std::string &user, std::uint64_t requestId, std::string_view resendKey);
  Answer respond(std::string_view module, std::string_view method, const Method *m, std::string_view body,
                 const Author &author, std::string_view resendKey);
  // Runs work, turning every failure into its error answer (the engine's text to the log only).
  Answer guarded(std::string_view name, std::uint64_t requestId, const std::function<Answer()> &work);
  Answer invoke(const Method &m, std::string_view body, const Author &author, std::string_view resendKey);
  // The answer of a method's outcome; args are sent back when the method says so.
  static Answer encode(Outcome out, const std::vector<Variant> &args);

  void countFirstLoad(const std::string &table);

  Store &store_;
  SessionBook sessions_;
  // By module, then by method: a request's route is looked up without building a name.
  std::map<std::string, std::map<std::string, Method, std::less<>>, std::less<>> modules_;
  AnswerCache cache_;
  mutable std::mutex firstLoadsMutex_;
  std::map<std::string, std::uint64_t> firstLoads_;
  ResendGuard resends_;
  WorkBoard work_;
};

} // namespace kdr::server
