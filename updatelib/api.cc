// The exported C calls: argument checks and path conversion at the boundary, then the
// session. No exception crosses this boundary.
#include <dlfcn.h>

#include <cstring>
#include <new>

#include "updatelib/built_in_keys.h"
#include "updatelib/castanet.h"
#include "updatelib/host_path.h"
#include "updatelib/session.h"

using castanet::Session;

struct MrbSession {
  std::unique_ptr<Session> session;
};

namespace {

Session* Get(MrbHandle handle) { return handle ? handle->session.get() : nullptr; }

// "mrbupd.keys" beside the library: where an installation adds keys to the built-in ones.
std::string KeyFileBesideLibrary() {
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&KeyFileBesideLibrary), &info) || !info.dli_fname) return {};
  std::string library = info.dli_fname;
  size_t slash = library.rfind('/');
  return (slash == std::string::npos ? std::string(".") : library.substr(0, slash)) +
         "/mrbupd.keys";
}

// Runs a call; an exception (only std::bad_alloc can come) becomes the fallback result.
template <typename Result, typename Call>
Result Guard(Result fallback, Call call) noexcept {
  try {
    return call();
  } catch (...) {
    return fallback;
  }
}

}  // namespace

extern "C" {

MRB_EXPORT MrbHandle MRB_CALL mrbInitUpdate(const MrbInitRecord* init) {
  if (!init) return nullptr;
  return Guard(static_cast<MrbHandle>(nullptr), [init]() -> MrbHandle {
    castanet::SessionConfig config;
    config.target = castanet::HostPathFromCaller(init->target_directory);
    config.channel_url = init->channel_url ? init->channel_url : "";
    config.user_agent = init->user_agent ? init->user_agent : "";
    config.options = init->options;
    config.event = init->event_callback;
    config.text = init->text_callback;
    config.credentials = init->credentials;
    config.built_in_keys = std::string(castanet::BuiltInKeys());
    config.key_file = KeyFileBesideLibrary();
    std::string error;
    std::unique_ptr<Session> session = Session::Create(config, &error);
    if (!session) return nullptr;
    MrbHandle handle = new (std::nothrow) MrbSession{std::move(session)};
    if (handle && init->handle_out) *init->handle_out = handle;
    return handle;
  });
}

MRB_EXPORT int MRB_CALL mrbAppendLog(MrbHandle handle, int32_t, const char* text, int32_t length) {
  Session* session = Get(handle);
  if (!session || !text) return 1;
  // The length counts the terminating zero; never read past it or past the text.
  size_t size = length > 0 ? strnlen(text, static_cast<size_t>(length)) : strlen(text);
  return Guard(1, [&] { return session->AppendLog(std::string(text, size)); });
}

MRB_EXPORT int MRB_CALL mrbIsPrepareNeeded(MrbHandle handle) {
  Session* session = Get(handle);
  return session ? Guard(1, [&] { return session->IsPrepareNeeded(); }) : 0;
}

MRB_EXPORT int MRB_CALL mrbPrepareEx(MrbHandle handle, int32_t mode, int32_t, int32_t) {
  Session* session = Get(handle);
  return session ? Guard(1, [&] { return session->Prepare(mode); }) : 1;
}

MRB_EXPORT int MRB_CALL mrbVerifyEx(MrbHandle handle, int32_t mode) {
  Session* session = Get(handle);
  return session ? Guard(1, [&] { return session->Verify(mode); }) : 1;
}

MRB_EXPORT int MRB_CALL mrbIsUpdateAvailable(MrbHandle handle, uint32_t* bytes) {
  Session* session = Get(handle);
  if (bytes) *bytes = 0;
  return session ? Guard(0, [&] { return session->IsUpdateAvailable(bytes); }) : 0;
}

MRB_EXPORT int MRB_CALL mrbUpdate(MrbHandle handle, const char* profile, int32_t length) {
  Session* session = Get(handle);
  if (!session) return MRB_UPDATE_FAILED;
  bool have_profile = profile && length > 0;
  std::string profile_text =
      have_profile ? std::string(profile, strnlen(profile, static_cast<size_t>(length))) : "";
  return Guard(MRB_UPDATE_FAILED, [&] { return session->Update(profile_text, have_profile); });
}

MRB_EXPORT int MRB_CALL mrbLookupHoldingAreaFile(MrbHandle handle, char* buffer, int32_t size) {
  Session* session = Get(handle);
  return session ? Guard(1, [&] { return session->LookupHoldingAreaFile(buffer, size); }) : 1;
}

MRB_EXPORT const char* MRB_CALL mrbGetProperty(MrbHandle handle, const char* name, int32_t) {
  Session* session = Get(handle);
  if (!session || !name) return nullptr;
  return Guard(static_cast<const char*>(nullptr), [&] { return session->GetProperty(name); });
}

MRB_EXPORT int MRB_CALL mrbRemoveProperty(MrbHandle handle, const char* name) {
  Session* session = Get(handle);
  if (!session || !name) return 1;
  return Guard(1, [&] { return session->RemoveProperty(name); });
}

MRB_EXPORT int MRB_CALL mrbClean(MrbHandle handle) {
  Session* session = Get(handle);
  return session ? Guard(1, [&] { return session->Clean(); }) : 1;
}

MRB_EXPORT int MRB_CALL mrbTermUpdate(MrbHandle handle) {
  if (!handle) return 1;
  delete handle;
  return 0;
}

}  // extern "C"
