#include "server/tds/session.h"

#include <poll.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "server/tds/login7.h"
#include "server/tds/prelogin.h"
#include "server/tds/rpc.h"
#include "server/tds/tokens.h"
#include "server/tds/transport.h"
#include "server/tds/type_catalog.h"
#include "server/tds/wire.h"

namespace morvesk::server::tds {
namespace {

constexpr size_t kMaxLoginBytes = 64 * 1024;
// A client has this long to complete its pre-login and login; an idle session after
// that may stay as long as it likes.
constexpr int kLoginSeconds = 30;
constexpr size_t kMaxRequestBytes = 64 * 1024 * 1024;
constexpr uint32_t kServerVersion = 0x0A000000;  // 10.0, as the pre-login reports it
constexpr char kCollationBytes[5] = {0x04, 0x08, static_cast<char>(0xD0), 0x00, 0x00};

enum TransactionRequest : uint16_t {
  kTmBegin = 5,
  kTmCommit = 7,
  kTmRollback = 8,
  kTmSave = 9,
};

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Skips the ALL_HEADERS block that 7.2 clients put before a request's data.
std::string_view SkipHeaders(std::string_view payload, bool tds72) {
  if (!tds72) return payload;
  ByteReader r(payload);
  const uint32_t total = r.U32();
  if (total < 4 || total > payload.size()) throw ProtocolError("bad request headers");
  return payload.substr(total);
}

// Turns a batch's output items into tokens. DONE of each statement is held until the
// next item shows whether more follows, so the last one goes out without the "more"
// bit, as clients expect of a reply's end.
class TokenSink : public engine::ResultSink {
 public:
  TokenSink(Reply& reply, uint8_t done_token) : reply_(reply), done_token_(done_token) {}

  void Take(engine::Result&& item) override {
    using Kind = engine::Result::Kind;
    switch (item.kind) {
      case Kind::kRows: {
        Release();
        const std::vector<WireColumn> cols = reply_.ColMetadata(item);
        for (const auto& row : item.rows) reply_.Row(cols, row);
        held_ = true;
        held_status_ = 0;
        held_count_ = item.rows.size();
        rows_pending_ = true;
        break;
      }
      case Kind::kRowCount:
        if (!rows_pending_) Release();
        held_ = true;
        held_status_ = kDoneCount;
        held_count_ = static_cast<uint64_t>(item.row_count);
        rows_pending_ = false;
        break;
      case Kind::kMessage:
        Release();
        reply_.Message(item.message_number, item.message_state, item.message_severity,
                       item.message, "", 0, true);
        break;
      case Kind::kError:
        Release();
        if (item.error) Error(*item.error);
        break;
    }
  }

  void Error(const engine::SqlError& e) {
    // A cancelled batch ends with the attention acknowledgement, not an error.
    if (e.number == engine::kBatchCancelledError) {
      cancelled_ = true;
      return;
    }
    Release();
    reply_.Error(e);
    if (e.severity > 10) {
      held_ = true;
      held_status_ = kDoneError;
      held_count_ = 0;
      any_error_ = true;
    }
  }

  // Sends the held DONE with the "more" bit (something follows).
  void Release() {
    if (held_)
      reply_.Done(done_token_, static_cast<uint16_t>(held_status_ | kDoneMore), held_count_);
    held_ = false;
    rows_pending_ = false;
  }

  // The last DONE of the items: `more` when the caller still sends tokens after it.
  void End(bool more, uint16_t extra_status = 0) {
    uint16_t status = held_ ? held_status_ : 0;
    uint64_t count = held_ ? held_count_ : 0;
    if (any_error_) status |= kDoneError;
    status |= extra_status;
    if (more) status |= kDoneMore;
    reply_.Done(done_token_, status, count);
    held_ = false;
  }

  bool any_error() const { return any_error_; }
  bool cancelled() const { return cancelled_; }

 private:
  Reply& reply_;
  uint8_t done_token_;
  bool held_ = false;
  uint16_t held_status_ = 0;
  uint64_t held_count_ = 0;
  bool rows_pending_ = false;
  bool any_error_ = false;
  bool cancelled_ = false;
};

// Watches the client's socket while a request runs. The protocol lets a client send only
// an attention (cancel) while the server answers, so any input then is one: the running
// batch is interrupted, again every few milliseconds until it has ended (a batch that
// starts clears an earlier interrupt). The packet itself is read afterwards by the
// session, which owns the stream (and its TLS state).
class AttentionWatch {
 public:
  explicit AttentionWatch(int fd) : fd_(fd), thread_([this] { Loop(); }) {}
  ~AttentionWatch() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      quit_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

  void Start(engine::Connection* connection) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      connection_ = connection;
      seen_ = false;
      running_ = true;
      ++generation_;
    }
    cv_.notify_all();
  }

  // The request has ended; whether an attention arrived while it ran.
  bool Stop() {
    std::lock_guard<std::mutex> lock(mu_);
    running_ = false;
    connection_ = nullptr;
    return seen_;
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(mu_);
    for (;;) {
      cv_.wait(lock, [this] { return quit_ || running_; });
      if (quit_) return;
      // Input seen by a poll that began before this request started is the request
      // itself arriving, not a cancel of it.
      const uint64_t generation = generation_;
      lock.unlock();
      pollfd p{fd_, POLLIN, 0};
      const bool input = ::poll(&p, 1, 10) > 0;
      lock.lock();
      if (input && running_ && connection_ && generation == generation_) {
        seen_ = true;
        connection_->Interrupt();
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lock.lock();
      }
    }
  }

  int fd_;
  std::mutex mu_;
  std::condition_variable cv_;
  engine::Connection* connection_ = nullptr;
  bool running_ = false;
  bool seen_ = false;
  bool quit_ = false;
  uint64_t generation_ = 0;
  std::thread thread_;
};

class Session {
 public:
  Session(int fd, const ServerContext& context) : transport_(fd), context_(context) {}

  void Run() {
    try {
      transport_.set_read_timeout(kLoginSeconds);
      if (!Handshake()) {
        transport_.Shutdown();
        return;
      }
      transport_.set_read_timeout(0);
      watch_ = std::make_unique<AttentionWatch>(transport_.fd());
      for (;;) {
        Message m = transport_.ReadMessage(kMaxRequestBytes);
        Dispatch(m);
      }
    } catch (const ConnectionClosed&) {
    } catch (const ProtocolError&) {
    } catch (const std::exception&) {
    }
    watch_.reset();
    // A client that vanished mid-transaction leaves nothing half-written behind.
    if (connection_) {
      try {
        if (connection_->InTransaction()) connection_->Rollback();
      } catch (...) {
      }
    }
    transport_.Shutdown();
  }

 private:
  bool Handshake() {
    Message first = transport_.ReadMessage(kMaxLoginBytes);
    if (first.type == kPreLogin) {
      const PreLoginRequest req = ParsePreLogin(first.payload);
      const EncryptionChoice choice = ChooseEncryption(req.encryption, context_.tls != nullptr);
      transport_.WriteMessage(kTabularResult, BuildPreLoginResponse(choice.answer, kServerVersion));
      if (choice.refuse) return false;
      if (choice.handshake) transport_.StartTls(context_.tls);
      Message login = transport_.ReadMessage(kMaxLoginBytes);
      if (choice.handshake && !choice.whole_stream) transport_.StopTls();
      if (login.type != kLogin7) throw ProtocolError("expected a login");
      return Login(login.payload);
    }
    // A client that skips the pre-login cannot encrypt; a server with TLS refuses it.
    if (first.type != kLogin7 || context_.tls) return false;
    return Login(first.payload);
  }

  bool Login(std::string_view payload) {
    const Login7 login = ParseLogin7(payload);
    version_ = AgreeVersion(login.tds_version);
    tds72_ = IsTds72OrLater(version_);
    Reply reply(transport_, tds72_);
    if (!context_.users || !context_.users->Check(login.user_name, login.password)) {
      reply.Message(18456, 1, 14, "Login failed for user '" + login.user_name + "'.", "", 1, false);
      reply.Done(kDone, kDoneError, 0);
      reply.Finish();
      return false;
    }
    if (!login.database.empty() && !SameText(login.database, context_.database_name)) {
      reply.Message(4060, 1, 11,
                    "Cannot open database \"" + login.database +
                        "\" requested by the login. The login failed.",
                    "", 1, false);
      reply.Message(18456, 1, 14, "Login failed for user '" + login.user_name + "'.", "", 1, false);
      reply.Done(kDone, kDoneError, 0);
      reply.Finish();
      return false;
    }
    try {
      connection_ = context_.database->Connect();
    } catch (const engine::SqlError& e) {
      reply.Error(e);
      reply.Done(kDone, kDoneError, 0);
      reply.Finish();
      return false;
    }
    size_t packet = login.packet_size == 0 ? transport_.packet_size() : login.packet_size;
    packet = std::clamp(packet, kMinPacketSize, kMaxPacketSize);
    reply.EnvChange(kEnvDatabase, context_.database_name, "master");
    reply.Message(5701, 2, 0, "Changed database context to '" + context_.database_name + "'.", "",
                  1, true);
    reply.EnvChangeBytes(kEnvCollation, std::string_view(kCollationBytes, 5), "");
    reply.EnvChange(kEnvLanguage, "us_english", "");
    reply.Message(5703, 1, 0, "Changed language setting to us_english.", "", 1, true);
    reply.LoginAck(version_);
    reply.EnvChange(kEnvPacketSize, std::to_string(packet),
                    std::to_string(transport_.packet_size()));
    reply.Done(kDone, kDoneFinal, 0);
    reply.Finish();
    transport_.set_packet_size(packet);
    return true;
  }

  void Dispatch(const Message& m) {
    switch (m.type) {
      case kSqlBatch: {
        const std::string text = Utf16ToUtf8(SkipHeaders(m.payload, tds72_));
        Reply reply(transport_, tds72_);
        const bool was_open = connection_->InTransaction();
        BeginDeferred(reply);
        TokenSink sink(reply, kDone);
        BeginRequest();
        RunBatch(text, sink);
        const bool attention = EndRequest();
        TransactionChange(reply, was_open);
        if (attention) {
          sink.Release();
          reply.Done(kDone, kDoneAttention, 0);
        } else {
          sink.End(false);
        }
        reply.Finish();
        return;
      }
      case kRpc: {
        std::vector<RpcCall> calls = ParseRpc(SkipHeaders(m.payload, tds72_));
        Reply reply(transport_, tds72_);
        const bool was_open = connection_->InTransaction();
        BeginDeferred(reply);
        BeginRequest();
        for (size_t i = 0; i < calls.size() && !cancelled_; ++i) {
          RunCall(calls[i], reply, i + 1 < calls.size());
        }
        const bool attention = EndRequest();
        TransactionChange(reply, was_open);
        if (attention) reply.Done(kDone, kDoneAttention, 0);
        reply.Finish();
        return;
      }
      case kTransactionManager:
        TransactionManager(SkipHeaders(m.payload, tds72_));
        return;
      case kAttention: {
        // Nothing runs between requests: the cancel is acknowledged at once.
        Reply reply(transport_, tds72_);
        reply.Done(kDone, kDoneAttention, 0);
        reply.Finish();
        return;
      }
      default:
        throw ProtocolError("unexpected packet type");
    }
  }

  void BeginRequest() {
    cancelled_ = false;
    // An attention that came in the same read as the request is already buffered.
    if (transport_.InputWaiting(0)) connection_->Interrupt();
    watch_->Start(connection_.get());
  }

  // Ends the watch; after an attention, reads its packet so the stream is in step again.
  bool EndRequest() {
    const bool seen = watch_->Stop() || transport_.InputWaiting(0);
    if (seen) {
      Message m = transport_.ReadMessage(kMaxRequestBytes);
      if (m.type != kAttention) throw ProtocolError("a request while another was running");
    }
    return seen;
  }

  // A transaction asked for by the transaction manager starts with the first request
  // after it: a client that begins one and stays idle does not hold the write lock.
  void BeginDeferred(Reply& reply) {
    if (!begin_pending_) return;
    begin_pending_ = false;
    try {
      connection_->BeginTransaction();
    } catch (const engine::SqlError& e) {
      reply.Error(e);
    }
  }

  // Reports a transaction that a batch opened or ended itself (BEGIN TRAN / COMMIT).
  void TransactionChange(Reply& reply, bool was_open) {
    const bool open = connection_->InTransaction() || begin_pending_;
    if (open == was_open) return;
    if (open) {
      reply.EnvChangeBytes(kEnvBeginTransaction, NewDescriptor(), "");
    } else {
      reply.EnvChangeBytes(kEnvCommitTransaction, "", descriptor_);
    }
  }

  std::string NewDescriptor() {
    ByteWriter w;
    w.U64(++transaction_counter_);
    descriptor_ = w.Take();
    return descriptor_;
  }

  void RunBatch(const std::string& text, TokenSink& sink) {
    if (std::optional<engine::Result> types = TypeCatalogReply(text)) {
      const int64_t n = static_cast<int64_t>(types->rows.size());
      sink.Take(std::move(*types));
      engine::Result count;
      count.kind = engine::Result::Kind::kRowCount;
      count.row_count = n;
      sink.Take(std::move(count));
      return;
    }
    try {
      connection_->ExecuteStreaming(text, sink);
    } catch (const engine::SqlError& e) {
      sink.Error(e);
    }
  }

  void RunCall(const RpcCall& call, Reply& reply, bool more) {
    TokenSink sink(reply, kDoneInProc);
    int32_t status = 0;
    std::vector<std::pair<size_t, engine::Value>> outputs;  // param index -> value
    switch (call.proc_id) {
      case 0:
        status = CallProcedure(call, sink, outputs);
        break;
      case kSpExecuteSql:
        status = ExecuteSql(call, 0, sink, outputs);
        break;
      case kSpPrepExec:
        status = PrepExec(call, sink, outputs, true);
        break;
      case kSpPrepare:
        status = PrepExec(call, sink, outputs, false);
        break;
      case kSpExecute:
        status = Execute(call, sink, outputs);
        break;
      case kSpUnprepare:
        if (!call.params.empty() && call.params[0].value.is_int())
          prepared_.erase(call.params[0].value.as_int());
        break;
      default:
        sink.Error(engine::SqlError(
            2812, 16,
            "Could not find stored procedure 'sp_" + std::to_string(call.proc_id) + "'."));
        status = -6;
    }
    sink.Release();
    if (sink.cancelled()) cancelled_ = true;
    reply.ReturnStatus(status);
    for (const auto& [index, value] : outputs) {
      const RpcParam& p = call.params[index];
      engine::Value v = value;
      reply.ReturnValue(static_cast<uint16_t>(index), p.name, WithType(v, p.type), false);
    }
    reply.Done(kDoneProc,
               static_cast<uint16_t>((sink.any_error() ? kDoneError : 0) | (more ? kDoneMore : 0)),
               0);
  }

  // The value in the type the client declared for the parameter, so that its driver
  // reads back the type it bound.
  static engine::Value WithType(const engine::Value& v, const engine::TypeInfo& declared) {
    using Raw = std::variant<std::monostate, int64_t, double, engine::Decimal, engine::DateTime,
                             std::string>;
    if (declared.kind == engine::TypeKind::kNull) return v;
    if (v.is_null()) return engine::Value::Null(declared);
    const Raw raw = v.is_int()        ? Raw(v.as_int())
                    : v.is_double()   ? Raw(v.as_double())
                    : v.is_decimal()  ? Raw(v.as_decimal())
                    : v.is_datetime() ? Raw(v.as_datetime())
                                      : Raw(v.as_text());
    return engine::Value(declared, raw);
  }

  int32_t CallProcedure(const RpcCall& call, TokenSink& sink,
                        std::vector<std::pair<size_t, engine::Value>>& outputs) {
    std::vector<engine::ProcParam> params;
    for (const RpcParam& p : call.params) {
      params.push_back(engine::ProcParam{p.name, p.type, p.output, p.value});
    }
    engine::BatchResult result;
    bool failed = false;
    try {
      result = connection_->CallProcedure(call.proc_name, params);
    } catch (const engine::SqlError& e) {
      for (engine::Result r : connection_->PartialResult().results) sink.Take(std::move(r));
      sink.Error(e);
      failed = true;
    }
    if (!failed) {
      for (engine::Result& r : result.results) sink.Take(std::move(r));
    }
    for (size_t i = 0; i < call.params.size(); ++i) {
      if (call.params[i].output)
        outputs.emplace_back(i, failed ? engine::Value() : params[i].value);
    }
    if (failed) return connection_->PartialResult().return_status.value_or(-6);
    return result.return_status.value_or(0);
  }

  // sp_executesql @stmt, @params, values...: `first` is the index of @stmt.
  int32_t ExecuteSql(const RpcCall& call, size_t first, TokenSink& sink,
                     std::vector<std::pair<size_t, engine::Value>>& outputs) {
    if (call.params.size() <= first || !call.params[first].value.is_text()) {
      sink.Error(engine::SqlError(
          214, 16, "Procedure expects parameter '@statement' of type 'ntext/nchar/nvarchar'."));
      return -6;
    }
    const std::string statement = call.params[first].value.as_text();
    std::string declarations;
    if (call.params.size() > first + 1 && call.params[first + 1].value.is_text()) {
      declarations = call.params[first + 1].value.as_text();
    }
    std::vector<RpcParam> values(
        call.params.begin() + static_cast<long>(std::min(call.params.size(), first + 2)),
        call.params.end());
    return RunParameterised(statement, declarations, values, first + 2, call, sink, outputs);
  }

  int32_t RunParameterised(const std::string& statement, const std::string& declarations,
                           const std::vector<RpcParam>& values, size_t values_at,
                           const RpcCall& call, TokenSink& sink,
                           std::vector<std::pair<size_t, engine::Value>>& outputs) {
    const auto declared = ParseDeclarations(declarations);
    if (!declared) {
      sink.Error(engine::SqlError(102, 15, "Incorrect syntax near '" + declarations + "'."));
      return -6;
    }
    const ParameterisedBatch batch = BuildParameterisedBatch(statement, *declared, values);
    std::vector<engine::Value> output_values;
    bool failed = false;
    engine::BatchResult result;
    try {
      result = connection_->Execute(batch.text);
    } catch (const engine::SqlError& e) {
      for (engine::Result r : connection_->PartialResult().results) sink.Take(std::move(r));
      sink.Error(e);
      failed = true;
    }
    if (!failed) {
      std::vector<engine::Result>& items = result.results;
      if (batch.reads_outputs) {
        // The trailing SELECT of the output variables (and its row count) is ours.
        while (!items.empty() && items.back().kind == engine::Result::Kind::kRowCount)
          items.pop_back();
        if (!items.empty() && items.back().kind == engine::Result::Kind::kRows) {
          if (!items.back().rows.empty()) output_values = items.back().rows[0];
          items.pop_back();
        }
      }
      for (engine::Result& r : items) sink.Take(std::move(r));
    }
    // Output values go back to the RPC parameters that carried them.
    for (size_t k = 0; k < batch.outputs.size(); ++k) {
      const std::string& name = (*declared)[batch.outputs[k]].name;
      for (size_t i = values_at; i < call.params.size(); ++i) {
        const RpcParam& p = call.params[i];
        const bool match =
            p.name.empty() ? i - values_at == batch.outputs[k] : SameText(p.name, name);
        if (match && p.output) {
          outputs.emplace_back(i, k < output_values.size() ? output_values[k] : engine::Value());
        }
      }
    }
    return failed ? -6 : 0;
  }

  // sp_prepexec @handle OUTPUT, @params, @stmt, values... (and sp_prepare without the
  // run): the statement is kept under a handle of this session.
  int32_t PrepExec(const RpcCall& call, TokenSink& sink,
                   std::vector<std::pair<size_t, engine::Value>>& outputs, bool run) {
    if (call.params.size() < 3 || !call.params[2].value.is_text()) {
      sink.Error(
          engine::SqlError(8144, 16, "Procedure or function has too many arguments specified."));
      return -6;
    }
    const int64_t handle = ++prepared_counter_;
    Prepared p{call.params[2].value.as_text(),
               call.params[1].value.is_text() ? call.params[1].value.as_text() : std::string()};
    prepared_[handle] = p;
    outputs.emplace_back(0, engine::Value::Int(handle));
    if (!run) return 0;
    std::vector<RpcParam> values(call.params.begin() + 3, call.params.end());
    return RunParameterised(p.statement, p.declarations, values, 3, call, sink, outputs);
  }

  // sp_execute @handle, values...
  int32_t Execute(const RpcCall& call, TokenSink& sink,
                  std::vector<std::pair<size_t, engine::Value>>& outputs) {
    auto it = call.params.empty() || !call.params[0].value.is_int()
                  ? prepared_.end()
                  : prepared_.find(call.params[0].value.as_int());
    if (it == prepared_.end()) {
      sink.Error(engine::SqlError(
          8179, 16,
          "Could not find prepared statement with handle " +
              (call.params.empty() ? std::string("NULL") : call.params[0].value.ToString()) + "."));
      return -6;
    }
    std::vector<RpcParam> values(call.params.begin() + 1, call.params.end());
    return RunParameterised(it->second.statement, it->second.declarations, values, 1, call, sink,
                            outputs);
  }

  void TransactionManager(std::string_view payload) {
    ByteReader r(payload);
    const uint16_t request = r.U16();
    Reply reply(transport_, tds72_);
    const bool was_open = connection_->InTransaction() || begin_pending_;
    bool failed = false;
    try {
      switch (request) {
        case kTmBegin:
          begin_pending_ = true;
          break;
        case kTmCommit:
        case kTmRollback: {
          r.BVarChar();
          const uint8_t flags = r.U8();
          begin_pending_ = false;
          if (connection_->InTransaction()) {
            if (request == kTmCommit) {
              connection_->Commit();
            } else {
              connection_->Rollback();
            }
          }
          reply.EnvChangeBytes(
              request == kTmCommit ? kEnvCommitTransaction : kEnvRollbackTransaction, "",
              was_open ? descriptor_ : std::string());
          if (flags & 0x01) begin_pending_ = true;
          break;
        }
        case kTmSave:
          break;
        default:
          reply.Message(40000 + request, 1, 16,
                        "Distributed transactions are not supported by this server.", "", 0, false);
          failed = true;
      }
    } catch (const engine::SqlError& e) {
      reply.Error(e);
      failed = true;
    }
    if (begin_pending_) reply.EnvChangeBytes(kEnvBeginTransaction, NewDescriptor(), "");
    reply.Done(kDone, failed ? kDoneError : kDoneFinal, 0);
    reply.Finish();
  }

  struct Prepared {
    std::string statement;
    std::string declarations;
  };

  Transport transport_;
  const ServerContext& context_;
  std::unique_ptr<engine::Connection> connection_;
  std::unique_ptr<AttentionWatch> watch_;
  bool cancelled_ = false;
  uint32_t version_ = 0;
  bool tds72_ = false;
  bool begin_pending_ = false;
  uint64_t transaction_counter_ = 0;
  std::string descriptor_;
  std::map<int64_t, Prepared> prepared_;
  int64_t prepared_counter_ = 0;
};

}  // namespace

void ServeClient(int fd, const ServerContext& context) {
  Session session(fd, context);
  session.Run();
}

}  // namespace morvesk::server::tds
