// The four commands of morvek2. Each returns normally on success and throws Error otherwise.
#pragma once

#include "tools/morvek2/args.h"

namespace morvek2::cli {

void runInfo(const Options& options);
void runPrograms(const Options& options);
void runParams(const Options& options);
void runRender(const Options& options);
void runAnalyse(const Options& options);

} // namespace morvek2::cli
