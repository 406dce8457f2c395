#pragma once
// Single instance on the session bus. The running application owns the bus name
// kAppBundleIdentifier and exports, at kApplicationObjectPath:
//
//   org.freedesktop.Application
//     Activate(a{sv} platform_data)
//     ActivateAction(s action_name, av parameter, a{sv} platform_data)
//     Open(as uris, a{sv} platform_data)
//   io.tavel.Tavel.Control
//     Status() -> s report
//
// A second start finds the name taken and acts as a client instead (ApplicationClient).
// The platform data is accepted and not used.

#include "platform/result.h"
#include "platform/system_log.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sdbus {
class IConnection;
}

namespace tavel {

class BusConnection;

inline constexpr const char* kApplicationObjectPath = "/io/tavel/Tavel";
inline constexpr const char* kApplicationInterface = "org.freedesktop.Application";
inline constexpr const char* kControlInterface = "io.tavel.Tavel.Control";

// The running instance's side.
//
// Thread rules: main thread only. Every handler runs on the main thread, inside the bus
// connection's processing on the loop, and must not destroy this service (post that).
//
// Failures: an exception thrown by a handler, action or status provider fails only that
// call. The caller gets org.freedesktop.DBus.Error.Failed with a text that names the
// request and gives the exception's what(); the log gets one line
// "Tavel: request <Activate, Open, Status or the action's name> failed: <what()>"; the
// loop and the service go on and answer the next call.
class ApplicationService {
public:
    // Runs a named action with its string parameters, their count already checked against
    // the action's range. A failure says why the arguments were refused (for example an
    // unknown effect), which the caller receives as org.freedesktop.DBus.Error.InvalidArgs.
    using ActionHandler = std::function<Result<void>(const std::vector<std::string>& arguments)>;

    // `sessionBus` and `log` must outlive the service.
    explicit ApplicationService(BusConnection& sessionBus, LogSink& log = systemLog());
    // Gives the name up and withdraws the object.
    ~ApplicationService();
    ApplicationService(const ApplicationService&) = delete;
    ApplicationService& operator=(const ApplicationService&) = delete;

    // Install these before the loop processes the bus after claim() (calls are only
    // dispatched from the loop, so a process may claim first, as its first step, and set
    // them up once it is ready). Without an activate handler Activate does nothing;
    // without an open handler Open activates.
    void setActivateHandler(std::function<void()> handler);
    void setOpenHandler(std::function<void(const std::vector<std::string>& uris)> handler);
    // `name` accepts from `minArguments` to `maxArguments` string parameters. Replaces an
    // action of the same name.
    void setAction(const std::string& name, std::size_t minArguments, std::size_t maxArguments,
                   ActionHandler handler);
    // Produces the text of Status(). Without one, Status() answers with an error.
    void setStatusProvider(std::function<std::string()> provider);

    enum class Claim {
        owned,  // this process is the running instance
        taken,  // another process owns the name: act as its client
    };
    // Exports the object, then asks the bus daemon for the name without queueing; a failure
    // where the bus refused. One blocking round trip to the bus daemon. On anything but
    // `owned` nothing stays exported.
    Result<Claim> claim();
    bool owned() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// The command line's side: one blocking call per request on its own session-bus
// connection, no loop needed. Any one thread.
class ApplicationClient {
public:
    enum class Outcome {
        ok,          // done; for status(), the report is in `text`
        notRunning,  // no process owns the name
        failed,      // the bus, the call or the instance failed; the reason is in `text`
    };
    struct Reply {
        Outcome outcome = Outcome::failed;
        std::string text;
        // The D-Bus error of a failed call, e.g. org.freedesktop.DBus.Error.InvalidArgs when
        // the instance refused the action or its parameters (`text` then says why).
        std::string errorName;
    };

    // Opens the session bus ($DBUS_SESSION_BUS_ADDRESS); a bus that cannot be reached
    // makes every request fail with the reason. `timeout` bounds each call.
    explicit ApplicationClient(std::chrono::milliseconds timeout = std::chrono::seconds(3));
    ~ApplicationClient();
    ApplicationClient(const ApplicationClient&) = delete;
    ApplicationClient& operator=(const ApplicationClient&) = delete;

    Reply activate();
    Reply activateAction(const std::string& name, const std::vector<std::string>& parameters);
    Reply status();

private:
    template <class Call>
    Reply request(Call&& call);

    std::chrono::milliseconds timeout_;
    Result<std::unique_ptr<sdbus::IConnection>> connection_;
};

}  // namespace tavel
