// placeholder until the X server tests land
#include <gtest/gtest.h>
