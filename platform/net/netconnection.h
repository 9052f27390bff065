#pragma once
// The connection to the application server: late-bound, synchronous calls by method name with
// variant arguments, sent as JSON over HTTP to /<ServerName>/<Method>.
//
// A call answers a result envelope, a variant array: [true, payload] when the server applied the
// call, [false, message, code, detail] when it refused it or could not be reached (detail: what
// the server sent besides its message, null when nothing). With ThrowException
// off a transport failure comes back as such an error envelope; with it on, it raises.
//
// Open does not reach the server: the first call does, so a server that is down shows as the
// error result of that call ("unavailable"), naming the address.
//
// A call whose answer did not come (no connection, a connection cut, a time-out, 502/503/504 from
// a load balancer or a busy server) is sent again a few times, waiting longer each time, before
// it is reported. Every call carries an Idempotency-Key, the same on each resend, with which the
// server answers a write it already applied with its first answer instead of applying it twice;
// a change reported as failed and sent again (the user saves once more) carries the same key, so
// a change that did reach the database is not applied twice either.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/component.h"
#include "platform/rtl/variant.h"

namespace kdr {

namespace net {
class HttpClient;
}

class TNetConnection : public TComponent {
public:
  explicit TNetConnection(TComponent *owner = nullptr);
  ~TNetConnection() override;
  std::string className() const override { return "TNetConnection"; }

  std::string ServerName; // remote module, e.g. "KDR03020.rdmParamFatCli"
  std::string HostName = "127.0.0.1";
  int Port = 0;
  // HTTPS: the server's certificate must come from an authority of the system's store, or of
  // CaFile when given, and name HostName; a mismatch refuses the call with the reason.
  bool UseTls = false;
  std::string CaFile;
  std::string
      Token; // the session's key (or the server's machine token), sent as a bearer token when not empty
  bool ThrowException = true;
  int ConnectTimeoutSeconds = 5;
  int ReadTimeoutSeconds = 300;
  // Resends of a call whose answer did not come, and the wait before the first of them (doubled
  // for each next one, plus up to half of it at random so that desktops cut off together do not
  // come back together).
  int RetryCount = 4;
  int RetryDelayMilliseconds = 250;

  // Runs just before the connection opens, so the owner can set host and port.
  std::function<void(TNetConnection &)> BeforeConnect;
  // Runs when the server answers that the session has ended or expired; when it returns true
  // Token holds a new session and the call is sent again (the server refused it before doing
  // anything, so nothing is done twice).
  std::function<bool(TNetConnection &)> OnSessionExpired;

  // What signing in gives: the session's key and when it expires, the operator and the
  // authorisation codes its groups hold.
  struct SessionGrant {
    std::string key, expires, operatorCode, operatorName;
    std::vector<std::string> authorisations;
  };
  // Signs in on the server (opening the connection if needed). Raises EDatabaseError with the
  // server's message (a wrong password, too many attempts) or the transport's.
  SessionGrant OpenSession(const std::string &operatorCode, const std::string &password);
  // Ends the session of Token on the server; a server out of reach is not told.
  void CloseSession();

  void Open();
  void Close();
  bool Connected() const { return connected_; }
  void SetConnected(bool value) { value ? Open() : Close(); }

  // The application server: calls by method name.
  Variant Call(std::string_view method, Variant::Array args);
  // Same, and an argument passed by reference is updated from the server's answer.
  Variant CallByRef(std::string_view method, Variant::Array &args);

  std::string Address() const { return (UseTls ? "https://" : "") + HostName + ":" + std::to_string(Port); }

  // The result envelope of an answer's body, read as a call reads it; the arguments by reference
  // take what the answer returns. The HTTP status only goes into the message of a garbled answer.
  Variant readAnswer(std::string_view body, int httpStatus, Variant::Array &args);

  static Variant okResult(Variant payload);
  static Variant errorResult(std::string message, std::string code, Variant detail = nullptr);
  // Anything but [true, payload] is an error result.
  static bool isErrorResult(const Variant &result);
  // Of an ok result; null for an error result.
  static Variant payloadOf(const Variant &result);
  // Of an error result: the message for the user and the code ("unavailable" when the server
  // could not be reached, else the server's code).
  static std::string errorMessage(const Variant &result);
  static std::string errorCode(const Variant &result);
  static Variant errorDetail(const Variant &result);

private:
  std::string transportMessage(const std::string &why) const;
  Variant transportFailure(const std::string &why);
  // The key of a call: the one of the last call whose answer never came, when this is the same
  // request sent again; a new one otherwise.
  std::string resendKeyFor(const std::string &path, const std::string &body);
  void waitBeforeResend(int resend);
  std::unique_ptr<net::HttpClient> client_;
  bool connected_ = false;
  struct Unanswered {
    std::string path;
    std::size_t bodyHash = 0;
    std::string key;
  };
  std::optional<Unanswered> unanswered_;
};

} // namespace kdr
