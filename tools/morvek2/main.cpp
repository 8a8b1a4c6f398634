// morvek2: renders audio through a VST 2.4 effect module and shows what it did.
#include "tools/morvek2/args.h"
#include "tools/morvek2/commands.h"
#include "tools/morvek2/errors.h"
#include "tools/morvek2/plot.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using namespace morvek2::cli;
    try {
        const Options options = parseArgs(std::vector<std::string>(argv + 1, argv + argc));
        switch (options.command) {
        case Command::Help:
            std::fputs(usageText(), stdout);
            break;
        case Command::Info:
            runInfo(options);
            break;
        case Command::Programs:
            runPrograms(options);
            break;
        case Command::Params:
            runParams(options);
            break;
        case Command::Analyse:
            runAnalyse(options);
            break;
        case Command::Render:
            runRender(options);
            // Everything that drew is gone by now.
            if (options.plot) {
                releaseDrawingCaches();
            }
            break;
        }
        return static_cast<int>(Exit::Ok);
    } catch (const Error& e) {
        std::fprintf(stderr, "morvek2: error: %s\n", e.what());
        return static_cast<int>(e.code());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "morvek2: error: %s\n", e.what());
        return static_cast<int>(Exit::Failure);
    }
}
