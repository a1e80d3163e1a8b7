#include "net/uSSHLib.h"

#include <dlfcn.h>

#include <mutex>
#include <type_traits>

#include "core/uDebugLog.h"
#include "core/uDllLoader.h"

namespace {

struct TExport {
  const char* Name;
  void (*Assign)(TLibSsh2Api& api, void* symbol);
};

template <auto Member>
void Assign(TLibSsh2Api& api, void* symbol) {
  using Pointer = std::remove_reference_t<decltype(api.*Member)>;
  api.*Member = reinterpret_cast<Pointer>(symbol);
}

// Looked up in this order; the first missing one is the one named.
constexpr TExport kRequired[] = {
    {"libssh2_init", &Assign<&TLibSsh2Api::init>},
    {"libssh2_exit", &Assign<&TLibSsh2Api::exit>},
    {"libssh2_session_init_ex", &Assign<&TLibSsh2Api::session_init_ex>},
    {"libssh2_session_handshake", &Assign<&TLibSsh2Api::session_handshake>},
    {"libssh2_session_disconnect_ex", &Assign<&TLibSsh2Api::session_disconnect_ex>},
    {"libssh2_session_free", &Assign<&TLibSsh2Api::session_free>},
    {"libssh2_hostkey_hash", &Assign<&TLibSsh2Api::hostkey_hash>},
    {"libssh2_session_hostkey", &Assign<&TLibSsh2Api::session_hostkey>},
    {"libssh2_session_callback_set", &Assign<&TLibSsh2Api::session_callback_set>},
    {"libssh2_session_last_error", &Assign<&TLibSsh2Api::session_last_error>},
    {"libssh2_session_last_errno", &Assign<&TLibSsh2Api::session_last_errno>},
    {"libssh2_session_set_blocking", &Assign<&TLibSsh2Api::session_set_blocking>},
    {"libssh2_session_set_timeout", &Assign<&TLibSsh2Api::session_set_timeout>},
    {"libssh2_userauth_authenticated", &Assign<&TLibSsh2Api::userauth_authenticated>},
    {"libssh2_userauth_list", &Assign<&TLibSsh2Api::userauth_list>},
    {"libssh2_userauth_password_ex", &Assign<&TLibSsh2Api::userauth_password_ex>},
    {"libssh2_userauth_keyboard_interactive_ex", &Assign<&TLibSsh2Api::userauth_keyboard_interactive_ex>},
    {"libssh2_userauth_publickey_fromfile_ex", &Assign<&TLibSsh2Api::userauth_publickey_fromfile_ex>},
    {"libssh2_channel_open_ex", &Assign<&TLibSsh2Api::channel_open_ex>},
    {"libssh2_channel_request_pty_ex", &Assign<&TLibSsh2Api::channel_request_pty_ex>},
    {"libssh2_channel_request_pty_size_ex", &Assign<&TLibSsh2Api::channel_request_pty_size_ex>},
    {"libssh2_channel_process_startup", &Assign<&TLibSsh2Api::channel_process_startup>},
    {"libssh2_channel_read_ex", &Assign<&TLibSsh2Api::channel_read_ex>},
    {"libssh2_channel_write_ex", &Assign<&TLibSsh2Api::channel_write_ex>},
    {"libssh2_channel_eof", &Assign<&TLibSsh2Api::channel_eof>},
    {"libssh2_channel_send_eof", &Assign<&TLibSsh2Api::channel_send_eof>},
    {"libssh2_channel_close", &Assign<&TLibSsh2Api::channel_close>},
    {"libssh2_channel_free", &Assign<&TLibSsh2Api::channel_free>},
};

constexpr TExport kAgent[] = {
    {"libssh2_agent_init", &Assign<&TLibSsh2Api::agent_init>},
    {"libssh2_agent_connect", &Assign<&TLibSsh2Api::agent_connect>},
    {"libssh2_agent_list_identities", &Assign<&TLibSsh2Api::agent_list_identities>},
    {"libssh2_agent_get_identity", &Assign<&TLibSsh2Api::agent_get_identity>},
    {"libssh2_agent_userauth", &Assign<&TLibSsh2Api::agent_userauth>},
    {"libssh2_agent_disconnect", &Assign<&TLibSsh2Api::agent_disconnect>},
    {"libssh2_agent_free", &Assign<&TLibSsh2Api::agent_free>},
};

struct TLibState {
  std::mutex Lock;  // two transports may start at the same moment
  TModuleHandle Module = nullptr;
  bool Attempted = false;
  std::string LoadError;
  bool AgentAvailable = false;
  TLibSsh2Api Api{};
};

TLibState& State() {
  static TLibState state;
  return state;
}

}  // namespace

bool LoadLibSsh2() {
  TLibState& s = State();
  std::lock_guard<std::mutex> hold(s.Lock);
  if (s.Attempted) return s.Module != nullptr;
  s.Attempted = true;
  s.LoadError.clear();
  // The texts name the file as it is called here ("libssh2.so.1").
  const std::string file = LinuxLibraryName("libssh2.dll");
  TModuleHandle module = LoadDllFromAppFolder("libssh2.dll");
  if (!module) {
    s.LoadError = file +
                  " could not be loaded (not found, or one of its own dependencies - libcrypto/libssl/zlib - is "
                  "missing)";
    return false;
  }
  for (const TExport& e : kRequired) {
    void* symbol = DllSymbol(module, e.Name);
    if (!symbol) {
      s.LoadError = file + " loaded but is missing export(s): " + e.Name;
      dlclose(module);
      s.Api = TLibSsh2Api{};
      return false;
    }
    e.Assign(s.Api, symbol);
  }
  s.AgentAvailable = true;
  for (const TExport& e : kAgent) {
    void* symbol = DllSymbol(module, e.Name);
    if (!symbol) {
      // A library without agent support still serves every other login.
      LogLine(std::string("SSH: libssh2 has no ") + e.Name + "; agent login is off");
      s.AgentAvailable = false;
      break;
    }
    e.Assign(s.Api, symbol);
  }
  s.Module = module;
  return true;
}

std::string LibSsh2LoadError() {
  std::lock_guard<std::mutex> hold(State().Lock);
  return State().LoadError;
}

bool LibSsh2AgentAvailable() {
  std::lock_guard<std::mutex> hold(State().Lock);
  return State().AgentAvailable;
}

const TLibSsh2Api& LibSsh2() { return State().Api; }

int libssh2_userauth_password(LIBSSH2_SESSION* session, const std::string& user, const std::string& password) {
  return LibSsh2().userauth_password_ex(session, user.c_str(), static_cast<unsigned>(user.size()), password.c_str(),
                                        static_cast<unsigned>(password.size()), nullptr);
}

int libssh2_userauth_keyboard_interactive(LIBSSH2_SESSION* session, const std::string& user,
                                          TSsh2KbdResponseFunc responder) {
  return LibSsh2().userauth_keyboard_interactive_ex(session, user.c_str(), static_cast<unsigned>(user.size()),
                                                    responder);
}

int libssh2_userauth_publickey_fromfile(LIBSSH2_SESSION* session, const std::string& user,
                                        const std::string& publicKeyFile, const std::string& privateKeyFile,
                                        const std::string& passphrase) {
  // No public key file lets libssh2 derive the public key from the private one.
  return LibSsh2().userauth_publickey_fromfile_ex(session, user.c_str(), static_cast<unsigned>(user.size()),
                                                  publicKeyFile.empty() ? nullptr : publicKeyFile.c_str(),
                                                  privateKeyFile.c_str(), passphrase.c_str());
}

LIBSSH2_CHANNEL* libssh2_channel_open_session(LIBSSH2_SESSION* session) {
  constexpr unsigned kWindowSize = 2097152, kPacketSize = 32768;
  return LibSsh2().channel_open_ex(session, "session", 7, kWindowSize, kPacketSize, nullptr, 0);
}

int libssh2_channel_request_pty(LIBSSH2_CHANNEL* channel, const std::string& term, int width, int height) {
  return LibSsh2().channel_request_pty_ex(channel, term.c_str(), static_cast<unsigned>(term.size()), nullptr, 0,
                                          width, height, 0, 0);
}

int libssh2_channel_request_pty_size(LIBSSH2_CHANNEL* channel, int width, int height) {
  return LibSsh2().channel_request_pty_size_ex(channel, width, height, 0, 0);
}

int libssh2_channel_shell(LIBSSH2_CHANNEL* channel) {
  return LibSsh2().channel_process_startup(channel, "shell", 5, nullptr, 0);
}

ssize_t libssh2_channel_read(LIBSSH2_CHANNEL* channel, char* buffer, size_t length) {
  return LibSsh2().channel_read_ex(channel, 0, buffer, length);
}

ssize_t libssh2_channel_write(LIBSSH2_CHANNEL* channel, const char* buffer, size_t length) {
  return LibSsh2().channel_write_ex(channel, 0, buffer, length);
}
