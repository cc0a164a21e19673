// A stand-in for the desktop's notification service, on the bus that
// DBUS_SESSION_BUS_ADDRESS names: it owns org.freedesktop.Notifications,
// answers Notify with ids 1, 2, 3, ..., and appends each call it gets as one
// JSON line to a file the test reads. Lines on its standard input make it
// emit signals as a service does when the person acts: "action ID KEY" and
// "close ID REASON", each answered with "sent" once the bus has it. Told
// --no-name, it owns nothing and only emits: an impostor on the same bus.
#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kName = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";

struct Service {
  std::string callsFile;
  std::uint32_t nextID = 0;

  void record(const nlohmann::json& call) const {
    std::ofstream(callsFile, std::ios::app) << call.dump() << '\n';
  }
};

void say(const std::string& line) {
  const std::string text = line + "\n";
  if (write(STDOUT_FILENO, text.data(), text.size()) < 0) _exit(2);
}

int onNotify(sd_bus_message* message, Service& service) {
  const char* app = nullptr;
  std::uint32_t replaces = 0;
  const char* icon = nullptr;
  const char* summary = nullptr;
  const char* body = nullptr;
  char** actions = nullptr;
  std::int32_t expire = 0;
  if (sd_bus_message_read(message, "susss", &app, &replaces, &icon, &summary, &body) < 0 ||
      sd_bus_message_read_strv(message, &actions) < 0 ||
      sd_bus_message_skip(message, "a{sv}") < 0 || sd_bus_message_read(message, "i", &expire) < 0)
    return sd_bus_reply_method_errorf(message, SD_BUS_ERROR_INVALID_ARGS, "bad Notify");
  nlohmann::json words = nlohmann::json::array();
  for (char** word = actions; word != nullptr && *word != nullptr; ++word) {
    words.push_back(*word);
    free(*word);
  }
  free(actions);
  const std::uint32_t id = replaces != 0 ? replaces : ++service.nextID;
  service.record({{"method", "Notify"},
                  {"id", id},
                  {"app", app},
                  {"replaces", replaces},
                  {"icon", icon},
                  {"summary", summary},
                  {"body", body},
                  {"actions", words},
                  {"expire", expire},
                  {"sender", sd_bus_message_get_sender(message)}});
  return sd_bus_reply_method_return(message, "u", id);
}

int onMethod(sd_bus_message* message, void* userdata, sd_bus_error*) {
  auto& service = *static_cast<Service*>(userdata);
  if (sd_bus_message_is_method_call(message, kInterface, "Notify") > 0)
    return onNotify(message, service);
  if (sd_bus_message_is_method_call(message, kInterface, "GetCapabilities") > 0) {
    sd_bus_message* reply = nullptr;
    char* capabilities[] = {const_cast<char*>("actions"), const_cast<char*>("body"), nullptr};
    if (sd_bus_message_new_method_return(message, &reply) < 0) return -1;
    sd_bus_message_append_strv(reply, capabilities);
    const int result = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return result < 0 ? result : 1;
  }
  if (sd_bus_message_is_method_call(message, kInterface, "CloseNotification") > 0) {
    std::uint32_t id = 0;
    sd_bus_message_read(message, "u", &id);
    service.record({{"method", "CloseNotification"}, {"id", id}});
    sd_bus_emit_signal(sd_bus_message_get_bus(message), kPath, kInterface, "NotificationClosed",
                       "uu", id, 3u);
    return sd_bus_reply_method_return(message, "");
  }
  if (sd_bus_message_is_method_call(message, kInterface, "GetServerInformation") > 0)
    return sd_bus_reply_method_return(message, "ssss", "stand-in", "glimmet tests", "1", "1.2");
  return 0;
}

// Emits what a command line asks for; false for a line it doesn't know.
bool emit(sd_bus* bus, const std::string& line) {
  std::istringstream words(line);
  std::string what;
  std::uint32_t id = 0;
  words >> what >> id;
  if (what == "action") {
    std::string key;
    words >> key;
    return sd_bus_emit_signal(bus, kPath, kInterface, "ActionInvoked", "us", id, key.c_str()) >= 0;
  }
  if (what == "close") {
    std::uint32_t reason = 0;
    words >> reason;
    return sd_bus_emit_signal(bus, kPath, kInterface, "NotificationClosed", "uu", id, reason) >= 0;
  }
  return false;
}

}  // namespace

int runNotificationService(int argc, char** argv) {
  // argv: helper notification-service CALLS_FILE [--no-name]
  if (argc < 3) return 64;
  Service service{argv[2]};
  const bool impostor = argc > 3 && std::string(argv[3]) == "--no-name";
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) {
    std::perror("sd_bus_open_user");
    return 2;
  }
  if (!impostor) {
    if (sd_bus_add_object(bus, nullptr, kPath, onMethod, &service) < 0 ||
        sd_bus_request_name(bus, kName, 0) < 0) {
      std::fputs("can't own org.freedesktop.Notifications\n", stderr);
      return 2;
    }
  }
  const char* unique = nullptr;
  sd_bus_get_unique_name(bus, &unique);
  say(std::string("ready ") + (unique != nullptr ? unique : "?"));

  std::string pending;
  while (true) {
    while (sd_bus_process(bus, nullptr) > 0) {
    }
    pollfd watched[2] = {{sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0},
                         {STDIN_FILENO, POLLIN, 0}};
    if (poll(watched, 2, 1000) < 0) continue;
    if (watched[1].revents != 0) {
      char buffer[256];
      const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
      if (got <= 0) {
        // The test closed its end: wait for the end it gives by signal.
        sd_bus_flush_close_unref(bus);
        while (true) pause();
      }
      pending.append(buffer, static_cast<std::size_t>(got));
      for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        const bool sent = emit(bus, line);
        sd_bus_flush(bus);
        say(sent ? "sent" : "unknown");
      }
    }
  }
}
