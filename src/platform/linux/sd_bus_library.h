// libsystemd's sd-bus, loaded the first time a connection is wanted. Linking it
// would load it, and the five libraries it needs, into every run of glimmet,
// agent hooks included, whose start-up is most of their cost; only the
// companion talks to the bus.
#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <memory>
#include <string>

namespace glimmet::platform::sdbus {

/// The functions of sd-bus that glimmet calls.
struct Library {
  decltype(&::sd_bus_new) busNew;
  decltype(&::sd_bus_set_address) setAddress;
  decltype(&::sd_bus_set_bus_client) setBusClient;
  decltype(&::sd_bus_start) start;
  decltype(&::sd_bus_set_method_call_timeout) setMethodCallTimeout;
  decltype(&::sd_bus_is_ready) isReady;
  decltype(&::sd_bus_process) process;
  decltype(&::sd_bus_wait) wait;
  decltype(&::sd_bus_get_fd) getFd;
  decltype(&::sd_bus_close_unref) closeUnref;
  decltype(&::sd_bus_get_unique_name) getUniqueName;
  decltype(&::sd_bus_call) call;
  decltype(&::sd_bus_add_match_async) addMatchAsync;
  decltype(&::sd_bus_get_property) getProperty;
  decltype(&::sd_bus_message_new_method_call) newMethodCall;
  decltype(&::sd_bus_message_append) append;
  decltype(&::sd_bus_message_append_strv) appendStrv;
  decltype(&::sd_bus_message_open_container) openContainer;
  decltype(&::sd_bus_message_close_container) closeContainer;
  decltype(&::sd_bus_message_read) read;
  decltype(&::sd_bus_message_read_strv) readStrv;
  decltype(&::sd_bus_message_get_sender) getSender;
  decltype(&::sd_bus_message_is_signal) isSignal;
  decltype(&::sd_bus_message_unref) messageUnref;
  decltype(&::sd_bus_error_free) errorFree;
};

/// The library, loaded once for the life of the process; nothing when
/// libsystemd.so.0, or one of the functions, isn't there.
const Library* library();

/// Why `library()` is nothing, in words.
std::string libraryFailure();

struct BusCloser {
  void operator()(sd_bus* bus) const;
};
struct MessageUnref {
  void operator()(sd_bus_message* message) const;
};
using BusPointer = std::unique_ptr<sd_bus, BusCloser>;
using MessagePointer = std::unique_ptr<sd_bus_message, MessageUnref>;

/// An sd_bus_error that frees itself.
class Error {
 public:
  Error() = default;
  ~Error();
  Error(const Error&) = delete;
  Error& operator=(const Error&) = delete;

  sd_bus_error* get() { return &error_; }
  /// The D-Bus error's name, empty when none was set.
  std::string name() const;
  /// The error's message when set, else the system's description of `result`.
  std::string describe(int result) const;

 private:
  // SD_BUS_ERROR_NULL is a C compound literal.
  sd_bus_error error_{nullptr, nullptr, 0};
};

/// A bus connection whose handshake finished within `timeout`, or why not.
struct Opened {
  BusPointer bus;
  std::string failure;  ///< "the NAME at ADDRESS can't be reached: ..."
};
/// Connects to the bus at `address` (`name`, such as "session bus", for the
/// failure) as a client; calls made with the library's own defaults wait at
/// most `timeout` too. The handshake is run here against the clock, so that a
/// bus daemon that hangs can't hold the caller.
Opened open(const Library& library, const std::string& name, const std::string& address,
            std::chrono::milliseconds timeout);

/// `duration` in sd-bus's microseconds, at least 1 (0 would mean its default).
std::uint64_t microseconds(std::chrono::milliseconds duration);
/// "3 s": a timeout in words, rounded up.
std::string seconds(std::chrono::milliseconds duration);

}  // namespace glimmet::platform::sdbus
