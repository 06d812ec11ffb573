// Transfer progress of a session turned into the connection events the caller expects
// (connecting, sending, waiting, receiving), each sent once per session.
#pragma once

#include "updatelib/session.h"
#include "updatelib/transfer.h"

namespace castanet {

class SessionTransferObserver : public TransferObserver {
 public:
  explicit SessionTransferObserver(Session* session) : session_(session) {}
  bool OnConnected() override {
    if (session_->connected_reported_) return true;
    session_->connected_reported_ = true;
    return session_->Emit(CASTANET_UPDATE_CONNECTING) == 0 &&
           session_->Emit(CASTANET_UPDATE_SENDING) == 0 &&
           session_->Emit(CASTANET_UPDATE_WAITING) == 0;
  }
  bool OnResponse() override {
    if (session_->response_reported_) return true;
    session_->response_reported_ = true;
    return session_->Emit(CASTANET_UPDATE_RECEIVING) == 0;
  }
  bool OnBytes(size_t, uint64_t) override { return true; }
  bool OnStart(size_t) override { return true; }
  void OnDone(size_t, HttpResult*) override {}

 protected:
  Session* session_;
};

}  // namespace castanet
