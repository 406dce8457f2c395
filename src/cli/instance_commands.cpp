#include "cli/instance_commands.h"

#include "effects/catalog.h"
#include "platform/dbus/application_service.h"

#include <ostream>

namespace tavel::cli {

namespace {

constexpr int kUsageStatus = 2;

int report(const ApplicationClient::Reply& reply, std::ostream& err) {
    switch (reply.outcome) {
        case ApplicationClient::Outcome::ok:
            return 0;
        case ApplicationClient::Outcome::notRunning:
            err << "tavel: Tavel is not running (start it with 'tavel')\n";
            return 1;
        case ApplicationClient::Outcome::failed:
            err << "tavel: " << reply.text << '\n';
            return reply.errorName == "org.freedesktop.DBus.Error.InvalidArgs" ? kUsageStatus : 1;
    }
    return 1;
}

}  // namespace

bool isInstanceCommand(const std::string& command) {
    return command == "shuffle" || command == "pause" || command == "resume" || command == "set" ||
           command == "status" || command == "quit";
}

int runInstanceCommand(const std::string& command, const std::vector<std::string>& args,
                       std::ostream& out, std::ostream& err) {
    std::vector<std::string> parameters;
    if (command == "set") {
        // set ID [--display KEY]
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--display") {
                if (i + 1 >= args.size()) {
                    err << "tavel: --display needs a display key (see 'tavel status')\n";
                    return kUsageStatus;
                }
                if (parameters.size() != 1) {
                    err << "tavel: set needs the effect id before --display\n";
                    return kUsageStatus;
                }
                parameters.push_back(args[++i]);
            } else if (!args[i].empty() && args[i][0] == '-') {
                err << "tavel: unknown option '" << args[i] << "'\n";
                return kUsageStatus;
            } else if (parameters.empty()) {
                parameters.push_back(args[i]);
            } else {
                err << "tavel: unexpected argument '" << args[i] << "'\n";
                return kUsageStatus;
            }
        }
        if (parameters.empty()) {
            err << "tavel: set needs an effect id (see 'tavel list')\n";
            return kUsageStatus;
        }
        if (!shaderEffect(parameters[0])) {
            err << "tavel: unknown effect '" << parameters[0] << "' (see 'tavel list')\n";
            return kUsageStatus;
        }
    } else if (!args.empty()) {
        err << "tavel: " << command << " takes no arguments\n";
        return kUsageStatus;
    }

    ApplicationClient client;
    if (command == "status") {
        auto reply = client.status();
        if (reply.outcome == ApplicationClient::Outcome::ok) out << reply.text;
        return report(reply, err);
    }
    return report(client.activateAction(command, parameters), err);
}

}  // namespace tavel::cli
