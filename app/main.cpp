// quorel: the map viewer and track logger.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/headless.h"
#include "app/program.h"
#include "platform/text_file.h"
#ifdef QUOREL_WITH_SDL
#include "app/window_front_end.h"
#endif

int main(int argc, char** argv) {
    using namespace quorel;
    // A reader that went away (stderr into a closed pipe, a log viewer closed) makes
    // writes fail with EPIPE instead of ending the program in the middle of a recording.
    std::signal(SIGPIPE, SIG_IGN);
    const ParsedCommandLine parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        std::fprintf(stderr, "quorel: %s\n%s", parsed.error.c_str(), usageText());
        return 2;
    }
    const Options& options = *parsed.options;
    if (options.help || options.version) {
        std::fputs(options.help ? usageText() : versionText(), stdout);
        // A help text that did not reach its reader (a full disk, a closed pipe) is a failure.
        return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
    }

    if (options.headless) {
        const auto text = platform::readTextFile(options.script);
        if (!text) {
            std::fprintf(stderr, "quorel: cannot read the script %s\n", options.script.c_str());
            return 2;
        }
        ParsedScript script = parseScript(*text);
        if (const auto* error = std::get_if<ScriptError>(&script)) {
            std::fprintf(stderr, "quorel: script line %d: %s: %s\n", error->line, error->reason.c_str(),
                         error->text.c_str());
            return 2;
        }
        HeadlessFrontEnd frontEnd(options.width, options.height,
                                  std::move(std::get<std::vector<ScriptCommand>>(script)),
                                  std::filesystem::path(options.script).parent_path(), options.gps);
        return runProgram(options, frontEnd);
    }
#ifdef QUOREL_WITH_SDL
    const auto frontEnd = makeWindowFrontEnd(options);
    if (!frontEnd) return 1;
    return runProgram(options, *frontEnd);
#else
    std::fprintf(stderr, "quorel: built without a window; run with --headless\n%s", usageText());
    return 2;
#endif
}
