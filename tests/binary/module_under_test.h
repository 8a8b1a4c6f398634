// Loading the built Morvek2 module for a test.
#pragma once

#include "host/morvek2_host.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace binarytest {

inline const char* modulePath()
{
    return MORVEK2_MODULE_PATH;
}

// One instance of the built module with its own host; fails the test when it cannot load.
inline std::unique_ptr<morvek2::host::Plugin> loadPlugin(morvek2::host::HostConfig config = {})
{
    std::string error;
    auto plugin = morvek2::host::Plugin::load(modulePath(), error, std::move(config));
    EXPECT_NE(plugin, nullptr) << error;
    return plugin;
}

} // namespace binarytest
