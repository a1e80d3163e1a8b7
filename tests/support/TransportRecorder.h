// Test helper: listens to a transport's four events and records them in the
// order they arrive, with the checks every transport must pass: each event on
// the interface thread, no empty data chunk, nothing after OnDisconnected.
// The record is shared with the handlers, so a late event after the test let
// go of the recorder touches nothing freed.
#pragma once
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/uWireTransport.h"

namespace testsupport {

struct TransportLog {
  enum class Kind { Data, Status, Connected, Disconnected };
  struct Event {
    Kind What;
    std::string Text;  // the message, or the data bytes
  };
  std::thread::id InterfaceThread = std::this_thread::get_id();
  std::vector<Event> Events;
  std::string Data;  // every data chunk, joined
  int OffThreadEvents = 0;
  int EmptyDataChunks = 0;
  int EventsAfterDisconnect = 0;
  int ConnectedCount = 0;
  int DisconnectedCount = 0;

  bool Disconnected() const { return DisconnectedCount > 0; }
  bool WasConnected() const { return ConnectedCount > 0; }
  std::string DisconnectText() const {
    for (const auto& e : Events)
      if (e.What == Kind::Disconnected) return e.Text;
    return "";
  }
  std::vector<std::string> Statuses() const {
    std::vector<std::string> s;
    for (const auto& e : Events)
      if (e.What == Kind::Status) s.push_back(e.Text);
    return s;
  }
  // "connected,data,status,disconnected" style summary (consecutive data
  // chunks count once) for order checks and failure messages.
  std::string Sequence() const {
    static const char* names[] = {"data", "status", "connected", "disconnected"};
    std::string s;
    Kind last = Kind::Status;
    bool first = true;
    for (const auto& e : Events) {
      if (!first && e.What == Kind::Data && last == Kind::Data) continue;
      if (!first) s += ",";
      s += names[int(e.What)];
      last = e.What;
      first = false;
    }
    return s;
  }

  void Add(Kind kind, std::string text) {
    if (std::this_thread::get_id() != InterfaceThread) ++OffThreadEvents;
    if (Disconnected()) ++EventsAfterDisconnect;
    if (kind == Kind::Data) {
      if (text.empty()) ++EmptyDataChunks;
      Data += text;
    }
    if (kind == Kind::Connected) ++ConnectedCount;
    if (kind == Kind::Disconnected) ++DisconnectedCount;
    Events.push_back({kind, std::move(text)});
  }
};

// Call on the interface thread right after the transport was created.
inline std::shared_ptr<TransportLog> RecordTransport(TWireTransport& t) {
  auto log = std::make_shared<TransportLog>();
  t.OnData = [log](const uint8_t* data, int count) {
    log->Add(TransportLog::Kind::Data, std::string(reinterpret_cast<const char*>(data), size_t(count > 0 ? count : 0)));
  };
  t.OnStatus = [log](const std::string& m) { log->Add(TransportLog::Kind::Status, m); };
  t.OnConnected = [log](const std::string& m) { log->Add(TransportLog::Kind::Connected, m); };
  t.OnDisconnected = [log](const std::string& m) { log->Add(TransportLog::Kind::Disconnected, m); };
  return log;
}

}  // namespace testsupport
