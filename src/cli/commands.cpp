#include "cli/commands.h"

#include "app/composition/application.h"
#include "app/core/settings_loader.h"
#include "app/integration/movie_exporter.h"
#include "cli/arguments.h"
#include "cli/instance_commands.h"
#include "effects/catalog.h"
#include "effects/offscreen/live_icon_renderer.h"
#include "effects/offscreen/png_encode.h"
#include "platform/app_identity.h"
#include "platform/atomic_file.h"
#include "platform/system_log.h"
#include "platform/xdg_installation.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <ostream>

namespace tavel::cli {

namespace {

constexpr int kUsageStatus = 2;

const char* const kUsage =
    "Usage: tavel [COMMAND [ARGUMENTS]]\n"
    "\n"
    "Without a command, runs Tavel: live effects behind the desktop of every monitor\n"
    "(in an X11 session, or on a Wayland compositor with a desktop layer).\n"
    "\n"
    "Commands for the running Tavel:\n"
    "  shuffle                   a new effect on every display\n"
    "  pause, resume             stop or continue the desktop effects\n"
    "  set ID [--display KEY]    show an effect on every display, or on one\n"
    "  status                    effect per display, frames drawn, pause state, idle saver\n"
    "  quit                      end it\n"
    "\n"
    "Other commands:\n"
    "  list                      one line per effect: category, id, name\n"
    "  render ID -o FILE.png [--size WxH] [--time T] [--param NAME=VALUE]...\n"
    "                            render one frame of an effect to a PNG file\n"
    "                            (-o or --output, - for standard output; size\n"
    "                            default 1920x1080, effect time default 40; NAME:\n"
    "                            speed, zoom, intensity, hue, custom1, custom2,\n"
    "                            bg=r,g,b, accent=r,g,b)\n"
    "  export ID -o FILE.mov [--size WxH] [--seconds S] [--fps N] [--param NAME=VALUE]...\n"
    "                            write a seamlessly looping HEVC movie of an effect\n"
    "                            (size default 3840x2160, 20 seconds at 30 fps; the\n"
    "                            effect runs forward for half the time and back;\n"
    "                            NAME as for render)\n"
    "  settings                  print the stored settings as JSON\n"
    "  login [on|off]            whether Tavel starts with the session; turn it on or off\n"
    "  install-saver             make halvane, Tavel's screen saver, known to the desktop\n"
    "  --background              run Tavel without showing a window (how login starts it)\n"
    "  --cpu-budget PERCENT      run Tavel keeping its effects within PERCENT of one core\n"
    "                            when OpenGL is a software renderer (no GPU): they are drawn\n"
    "                            smaller, then less often (default 25, also TAVEL_CPU_BUDGET;\n"
    "                            0: no budget); goes with --background\n"
    "  --help                    show this help\n"
    "  --version                 show the version\n";

// `export` runs in Tavel's exporter, which carries the movie encoder: the same arguments,
// the same streams, its exit status.
int handToExporter(const std::vector<std::string>& args, std::ostream& err) {
    const std::string exporter = exporterPath().string();
    std::vector<std::string> command = {exporter, "export"};
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : command) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::cout.flush();
    execv(exporter.c_str(), argv.data());
    err << "tavel: the movie exporter " << exporter << " cannot be run: " << std::strerror(errno)
        << '\n';
    return 1;
}

int list(std::ostream& out) {
    for (const ShaderCategory& category : shaderLibrary())
        for (const ShaderEffect& effect : category.effects)
            out << category.name << '\t' << effect.id << '\t' << effect.name << '\n';
    return 0;
}

int render(const std::vector<std::string>& args, std::ostream& err) {
    auto chosen = requestedEffect(parseRenderArguments(args), err);
    if (!chosen) return kUsageStatus;
    const auto& [request, effect] = *chosen;

    MemoryLogSink log;
    LiveIconRenderer renderer(log);
    if (!renderer.available()) {
        err << "tavel: no OpenGL 3.3 renderer is available (EGL could not make a context)\n";
        return 1;
    }
    auto image =
        renderer.renderImage(effect, request.params, request.width, request.height, request.time);
    if (!image) {
        for (const std::string& line : log.lines()) err << line << '\n';
        if (log.lines().empty())
            err << "tavel: rendering " << request.width << 'x' << request.height << " failed\n";
        return 1;
    }
    auto png = encodePng(*image);
    if (!png) {
        err << "tavel: PNG encoding failed\n";
        return 1;
    }
    if (request.output == "-") {
        std::cout.write(reinterpret_cast<const char*>(png->data()), std::streamsize(png->size()));
        std::cout.flush();
        if (std::cout) return 0;
        err << "tavel: cannot write the PNG to standard output\n";
        return 1;
    }
    // Written under a temporary name and renamed, so a failure leaves no half file.
    // The arguments were fine; the file system refused.
    if (Result<void> written = writeFileAtomically(request.output, *png, 0644); !written) {
        err << "tavel: " << written.why() << '\n';
        return 1;
    }
    return 0;
}

// Reads only: printing the settings never changes what is stored.
int settings(std::ostream& out, std::ostream& err) {
    FolderPreferencesStore store = FolderPreferencesStore::forDomain(kAppBundleIdentifier);
    LoadedSettings loaded = readSettings(store, legacyDomainOpener());
    if (loaded.undecodable)
        err << "tavel: the stored settings cannot be read (" << loaded.error
            << "); these are the defaults Tavel uses instead\n";
    out << encodeAppSettings(loaded.settings)
               .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
        << '\n';
    return 0;
}

int login(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    XdgLoginItem item = XdgLoginItem::forApplication(besideThisProgram("tavel"));
    if (args.empty()) {
        out << (item.enabled() ? "on" : "off") << '\n';
        return 0;
    }
    if (args.size() > 1 || (args[0] != "on" && args[0] != "off")) {
        err << "tavel: login takes on or off\n";
        return kUsageStatus;
    }
    if (Result<void> changed = item.setEnabled(args[0] == "on"); !changed) {
        err << "tavel: " << changed.why() << '\n';
        return 1;
    }
    return 0;
}

int installSaver(std::ostream& out, std::ostream& err) {
    XdgSaverInstaller installer = XdgSaverInstaller::forApplication(besideThisProgram("halvane"));
    if (!installer.available()) {
        err << "tavel: the screen saver is not part of this build (no halvane beside tavel)\n";
        return 1;
    }
    Result<std::string> instructions = installer.install();
    if (!instructions) {
        err << "tavel: " << instructions.why() << '\n';
        return 1;
    }
    out << *instructions;
    return 0;
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (isApplicationRun(args)) {
        auto parsed = parseApplicationArguments(args, std::getenv("TAVEL_CPU_BUDGET"));
        if (auto* usage = std::get_if<UsageError>(&parsed)) {
            err << "tavel: " << usage->message << '\n';
            return kUsageStatus;
        }
        const auto& request = std::get<ApplicationRequest>(parsed);
        return runApplication(systemLog(),
                              ApplicationOptions{request.background, request.cpuBudgetPercent});
    }
    const std::string& command = args[0];
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    if (command == "--version") {
        out << "tavel " << TAVEL_VERSION << '\n';
        return 0;
    }
    if (command == "list" || command == "settings") {
        if (!rest.empty()) {
            err << "tavel: " << command << " takes no arguments\n";
            return kUsageStatus;
        }
        return command == "list" ? list(out) : settings(out, err);
    }
    if (command == "render") return render(rest, err);
    if (command == "export") return handToExporter(rest, err);
    if (command == "login") return login(rest, out, err);
    if (command == "install-saver") {
        if (!rest.empty()) {
            err << "tavel: install-saver takes no arguments\n";
            return kUsageStatus;
        }
        return installSaver(out, err);
    }
    if (isInstanceCommand(command)) return runInstanceCommand(command, rest, out, err);
    err << "tavel: unknown command '" << command << "' (see 'tavel --help')\n";
    return kUsageStatus;
}

}  // namespace tavel::cli
