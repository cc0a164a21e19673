// Loading sd-bus with dlopen.
#include "platform/linux/sd_bus_library.h"

#include <dlfcn.h>

#include "platform/system_error.h"

namespace glimmet::platform::sdbus {
namespace {

struct Loaded {
  std::unique_ptr<Library> library;
  std::string failure;
};

template <typename Function>
bool bind(void* handle, const char* name, Function& function) {
  // dlsym hands out functions as object pointers; POSIX guarantees the cast.
  function = reinterpret_cast<Function>(::dlsym(handle, name));
  return function != nullptr;
}

Loaded load() {
  // The handle is kept for the life of the process: the functions are used
  // until it ends.
  void* handle = ::dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    return {nullptr,
            std::string("libsystemd isn't there (") + (why ? why : "no reason given") + ")"};
  }
  auto library = std::make_unique<Library>();
  auto& l = *library;
  const bool complete =
      bind(handle, "sd_bus_new", l.busNew) && bind(handle, "sd_bus_set_address", l.setAddress) &&
      bind(handle, "sd_bus_set_bus_client", l.setBusClient) &&
      bind(handle, "sd_bus_start", l.start) &&
      bind(handle, "sd_bus_set_method_call_timeout", l.setMethodCallTimeout) &&
      bind(handle, "sd_bus_is_ready", l.isReady) && bind(handle, "sd_bus_process", l.process) &&
      bind(handle, "sd_bus_wait", l.wait) && bind(handle, "sd_bus_get_fd", l.getFd) &&
      bind(handle, "sd_bus_close_unref", l.closeUnref) &&
      bind(handle, "sd_bus_get_unique_name", l.getUniqueName) &&
      bind(handle, "sd_bus_call", l.call) &&
      bind(handle, "sd_bus_add_match_async", l.addMatchAsync) &&
      bind(handle, "sd_bus_get_property", l.getProperty) &&
      bind(handle, "sd_bus_message_new_method_call", l.newMethodCall) &&
      bind(handle, "sd_bus_message_append", l.append) &&
      bind(handle, "sd_bus_message_append_strv", l.appendStrv) &&
      bind(handle, "sd_bus_message_open_container", l.openContainer) &&
      bind(handle, "sd_bus_message_close_container", l.closeContainer) &&
      bind(handle, "sd_bus_message_read", l.read) &&
      bind(handle, "sd_bus_message_read_strv", l.readStrv) &&
      bind(handle, "sd_bus_message_get_sender", l.getSender) &&
      bind(handle, "sd_bus_message_is_signal", l.isSignal) &&
      bind(handle, "sd_bus_message_unref", l.messageUnref) &&
      bind(handle, "sd_bus_error_free", l.errorFree);
  if (!complete) return {nullptr, "libsystemd is too old for glimmet (it lacks a function)"};
  return {std::move(library), {}};
}

const Loaded& loaded() {
  static const Loaded once = load();
  return once;
}

}  // namespace

const Library* library() {
  return loaded().library.get();
}

std::string libraryFailure() {
  return loaded().failure;
}

void BusCloser::operator()(sd_bus* bus) const {
  // Closed without flushing: a flush waits for a bus that may hang.
  if (bus != nullptr) library()->closeUnref(bus);
}

void MessageUnref::operator()(sd_bus_message* message) const {
  if (message != nullptr) library()->messageUnref(message);
}

Error::~Error() {
  if (const auto* functions = library()) functions->errorFree(&error_);
}

std::string Error::name() const {
  return error_.name != nullptr ? error_.name : "";
}

std::string Error::describe(int result) const {
  if (error_.message != nullptr && *error_.message != '\0') return error_.message;
  return describeError(result < 0 ? -result : result);
}

std::uint64_t microseconds(std::chrono::milliseconds duration) {
  return duration.count() <= 0 ? 1 : static_cast<std::uint64_t>(duration.count()) * 1000;
}

std::string seconds(std::chrono::milliseconds duration) {
  return std::to_string((duration.count() + 999) / 1000) + " s";
}

Opened open(const Library& api, const std::string& name, const std::string& address,
            std::chrono::milliseconds timeout) {
  const std::string described = "the " + name + " at " + address;
  const auto unreachable = [&](int failure) {
    return Opened{nullptr, described + " can't be reached: " + describeError(-failure)};
  };
  sd_bus* raw = nullptr;
  int result = api.busNew(&raw);
  if (result < 0) return unreachable(result);
  BusPointer bus(raw);
  if ((result = api.setAddress(raw, address.c_str())) < 0 ||
      (result = api.setBusClient(raw, 1)) < 0 ||
      (result = api.setMethodCallTimeout(raw, microseconds(timeout))) < 0 ||
      (result = api.start(raw)) < 0)
    return unreachable(result);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (api.isReady(raw) <= 0) {
    result = api.process(raw, nullptr);
    if (result < 0) return unreachable(result);
    if (result > 0) continue;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      return {nullptr, described + " didn't answer within " + seconds(timeout)};
    if ((result = api.wait(raw, microseconds(left))) < 0) return unreachable(result);
  }
  return {std::move(bus), {}};
}

}  // namespace glimmet::platform::sdbus
