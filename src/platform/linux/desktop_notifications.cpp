// Desktop notifications over sd-bus. Every call carries a timeout, so a
// notification service that hangs costs the caller at most that long; the
// connection's socket is never read except when the owner asks (`take`).
#include "platform/desktop_notifications.h"

#include <cerrno>
#include <cstdlib>
#include <deque>
#include <string_view>
#include <utility>

#include "platform/file_system.h"
#include "platform/linux/sd_bus_library.h"
#include "platform/system_error.h"

namespace glimmet::platform {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kObject = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
constexpr const char* kAppName = "glimmet";
// Every signal of the interface, whoever sends it: which sender counts is
// decided here, per notification, not by the bus daemon.
constexpr const char* kSignals =
    "type='signal',interface='org.freedesktop.Notifications',path='/org/freedesktop/"
    "Notifications'";

// Bounds on what a service, or a flood on the bus, can make this connection hold.
constexpr std::size_t kMostShown = 1024;
constexpr std::size_t kMostWaitingSignals = 1024;
constexpr int kMostMessagesPerTake = 10000;

// A path in a D-Bus address: bytes outside the optionally-escaped set as %XX.
std::string escapedAddressValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '/' || c == '.' || c == '\\' || c == '*';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

std::optional<std::string> sessionBusAddress(const Environment& environment) {
  if (auto address = environment.get("DBUS_SESSION_BUS_ADDRESS"); address && !address->empty())
    return address;
  if (const auto runtime = environment.absolutePath("XDG_RUNTIME_DIR")) {
    const auto socket = std::filesystem::path(*runtime) / "bus";
    if (entryExists(socket)) return "unix:path=" + escapedAddressValue(socket.string());
  }
  return std::nullopt;
}

// The markup some services read in a body: plain text must not turn into it.
std::string escapedMarkup(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool lostConnection(int result) {
  return result == -ECONNRESET || result == -ENOTCONN || result == -EPIPE || result == -ESHUTDOWN ||
         result == -ECONNREFUSED;
}

}  // namespace

struct NotificationBus::State {
  struct Shown {
    std::uint32_t id = 0;
    std::string sender;
  };

  const sdbus::Library& api;
  std::chrono::milliseconds timeout;
  std::deque<Shown> shown;
  std::vector<NotificationSignal> arrived;
  std::optional<std::vector<std::string>> capabilities;
  std::string capabilitiesSender;
  bool lost = false;
  // Last, so that it closes first: its match callback points at this state.
  sdbus::BusPointer bus;

  State(const sdbus::Library& library, std::chrono::milliseconds limit)
      : api(library), timeout(limit) {}

  const Shown* find(std::uint32_t id, std::string_view sender) const {
    for (const auto& entry : shown)
      if (entry.id == id && entry.sender == sender) return &entry;
    return nullptr;
  }

  void remember(std::uint32_t id, std::string sender) {
    // A replaced notification keeps its id: one entry per id and service.
    std::erase_if(shown, [&](const Shown& entry) { return entry.id == id; });
    shown.push_back({id, std::move(sender)});
    if (shown.size() > kMostShown) shown.pop_front();
  }

  void arrive(NotificationSignal signal) {
    if (arrived.size() < kMostWaitingSignals) arrived.push_back(std::move(signal));
  }

  BusAttempt<sdbus::MessagePointer> newCall(const char* destination, const char* member) {
    sd_bus_message* raw = nullptr;
    const int result = api.newMethodCall(bus.get(), &raw, destination, kObject, kInterface, member);
    if (result < 0) return BusAttempt<sdbus::MessagePointer>::failed(describeError(-result));
    return {sdbus::MessagePointer(raw), {}};
  }

  // One method call, waited on for at most the timeout.
  BusAttempt<sdbus::MessagePointer> call(sd_bus_message* message) {
    if (lost) return BusAttempt<sdbus::MessagePointer>::failed("the session bus went away");
    sdbus::Error error;
    sd_bus_message* reply = nullptr;
    const int result =
        api.call(bus.get(), message, sdbus::microseconds(timeout), error.get(), &reply);
    if (result >= 0) return {sdbus::MessagePointer(reply), {}};
    if (lostConnection(result)) lost = true;
    std::string why;
    if (error.name() == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        error.name() == "org.freedesktop.DBus.Error.NameHasNoOwner")
      why = "no notification service runs on the session bus";
    else if (result == -ETIMEDOUT || error.name() == "org.freedesktop.DBus.Error.NoReply")
      why = "the notification service didn't answer within " + sdbus::seconds(timeout);
    else if (lost)
      why = "the session bus went away (" + error.describe(result) + ")";
    else
      why = "the notification service said: " + error.describe(result);
    return BusAttempt<sdbus::MessagePointer>::failed(std::move(why));
  }

  static int onSignal(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& state = *static_cast<State*>(userdata);
    const auto& api = state.api;
    const char* sender = api.getSender(message);
    if (sender == nullptr) return 0;
    std::uint32_t id = 0;
    if (api.isSignal(message, kInterface, "ActionInvoked") > 0) {
      const char* key = nullptr;
      if (api.read(message, "us", &id, &key) < 0 || key == nullptr) return 0;
      if (state.find(id, sender) == nullptr) return 0;
      state.arrive({.kind = NotificationSignal::Kind::actionInvoked, .id = id, .actionKey = key});
    } else if (api.isSignal(message, kInterface, "NotificationClosed") > 0) {
      std::uint32_t reason = 0;
      if (api.read(message, "uu", &id, &reason) < 0) return 0;
      if (state.find(id, sender) == nullptr) return 0;
      state.arrive({.kind = NotificationSignal::Kind::closed, .id = id, .closedReason = reason});
      std::erase_if(state.shown, [&](const Shown& entry) { return entry.id == id; });
    }
    return 0;
  }
};

NotificationBus::NotificationBus(std::unique_ptr<State> state) : state_(std::move(state)) {}
NotificationBus::NotificationBus(NotificationBus&&) noexcept = default;
NotificationBus& NotificationBus::operator=(NotificationBus&&) noexcept = default;
NotificationBus::~NotificationBus() = default;

BusAttempt<NotificationBus> NotificationBus::connect(const Environment& environment,
                                                     std::chrono::milliseconds timeout) {
  using Attempt = BusAttempt<NotificationBus>;
  const auto address = sessionBusAddress(environment);
  if (!address)
    return Attempt::failed(
        "there is no session bus (DBUS_SESSION_BUS_ADDRESS isn't set and there is no "
        "$XDG_RUNTIME_DIR/bus)");
  const auto* api = sdbus::library();
  if (api == nullptr) return Attempt::failed(sdbus::libraryFailure());

  auto state = std::make_unique<State>(*api, timeout);
  auto opened = sdbus::open(*api, "session bus", *address, timeout);
  if (!opened.bus) return Attempt::failed(opened.failure);
  state->bus = std::move(opened.bus);
  const int result = api->addMatchAsync(state->bus.get(), nullptr, kSignals, &State::onSignal,
                                        nullptr, state.get());
  if (result < 0) return Attempt::failed("the session bus: " + describeError(-result));
  return {NotificationBus(std::move(state)), {}};
}

BusAttempt<std::vector<std::string>> NotificationBus::capabilities() {
  using Attempt = BusAttempt<std::vector<std::string>>;
  auto& state = *state_;
  if (state.capabilities) return {state.capabilities, {}};
  auto request = state.newCall(kService, "GetCapabilities");
  if (!request) return Attempt::failed(request.failure);
  auto reply = state.call(request.value->get());
  if (!reply) return Attempt::failed(reply.failure);
  char** names = nullptr;
  if (state.api.readStrv(reply.value->get(), &names) < 0 || names == nullptr)
    return Attempt::failed("the notification service's capabilities don't read");
  std::vector<std::string> out;
  for (char** name = names; *name != nullptr; ++name) {
    out.emplace_back(*name);
    std::free(*name);
  }
  std::free(static_cast<void*>(names));
  const char* sender = state.api.getSender(reply.value->get());
  state.capabilitiesSender = sender != nullptr ? sender : "";
  state.capabilities = out;
  return {std::move(out), {}};
}

BusAttempt<std::uint32_t> NotificationBus::show(const Notification& notification) {
  using Attempt = BusAttempt<std::uint32_t>;
  auto& state = *state_;
  const auto& api = state.api;
  const auto offered = capabilities();
  if (!offered) return Attempt::failed(offered.failure);
  bool markup = false;
  for (const auto& name : *offered.value) markup = markup || name == "body-markup";
  const std::string body = markup ? escapedMarkup(notification.body) : notification.body;

  auto request = state.newCall(kService, "Notify");
  if (!request) return Attempt::failed(request.failure);
  sd_bus_message* message = request.value->get();
  std::vector<std::string> words;
  for (const auto& action : notification.actions) {
    words.push_back(action.key);
    words.push_back(action.label);
  }
  std::vector<char*> actions;
  for (auto& word : words) actions.push_back(word.data());
  actions.push_back(nullptr);
  int result = 0;
  if ((result = api.append(message, "susss", kAppName, notification.replaces, "",
                           notification.summary.c_str(), body.c_str())) < 0 ||
      (result = api.appendStrv(message, actions.data())) < 0 ||
      (result = api.openContainer(message, 'a', "{sv}")) < 0 ||
      (result = api.closeContainer(message)) < 0 ||
      (result = api.append(message, "i", notification.expireAfter)) < 0)
    // Text that isn't UTF-8 is refused here, before anything is sent.
    return Attempt::failed("the notification can't be sent: " + describeError(-result));

  auto reply = state.call(message);
  if (!reply) return Attempt::failed(reply.failure);
  std::uint32_t id = 0;
  if (api.read(reply.value->get(), "u", &id) < 0)
    return Attempt::failed("the notification service's answer doesn't read");
  const char* sender = api.getSender(reply.value->get());
  if (sender == nullptr) return Attempt::failed("the notification service's answer has no sender");
  // Another service answered than the one asked before: ask it what it reads.
  if (state.capabilitiesSender != sender) state.capabilities.reset();
  state.remember(id, sender);
  return {id, {}};
}

BusAttempt<bool> NotificationBus::withdraw(std::uint32_t id) {
  using Attempt = BusAttempt<bool>;
  auto& state = *state_;
  const State::Shown* entry = nullptr;
  for (const auto& shown : state.shown)
    if (shown.id == id) entry = &shown;
  if (entry == nullptr) return {false, {}};
  // To the service that showed it, by its unique name: another service that
  // took the well-known name since may have given the same id to someone else.
  const std::string destination = entry->sender;
  auto request = state.newCall(destination.c_str(), "CloseNotification");
  if (!request) return Attempt::failed(request.failure);
  if (const int result = state.api.append(request.value->get(), "u", id); result < 0)
    return Attempt::failed(describeError(-result));
  auto reply = state.call(request.value->get());
  if (!reply) return Attempt::failed(reply.failure);
  return {true, {}};
}

std::vector<NotificationSignal> NotificationBus::take() {
  auto& state = *state_;
  for (int i = 0; i < kMostMessagesPerTake && !state.lost; ++i) {
    const int result = state.api.process(state.bus.get(), nullptr);
    if (result < 0) state.lost = true;
    if (result <= 0) break;
  }
  return std::exchange(state.arrived, {});
}

bool NotificationBus::connected() const {
  return !state_->lost;
}

int NotificationBus::descriptor() const {
  return state_->lost ? -1 : state_->api.getFd(state_->bus.get());
}

std::string NotificationBus::uniqueName() const {
  const char* name = nullptr;
  if (state_->api.getUniqueName(state_->bus.get(), &name) < 0 || name == nullptr) return {};
  return name;
}

}  // namespace glimmet::platform
