// EXPECT_THROW_MSG: the statement throws `type` (or a subclass) with exactly
// the message given.
#pragma once

#include <gtest/gtest.h>

#include <string>

#define EXPECT_THROW_MSG(statement, type, message)         \
  EXPECT_THROW(                                             \
      try { statement; } catch (const type& thrown) {       \
        EXPECT_EQ(std::string(message), thrown.what());     \
        throw;                                              \
      },                                                    \
      type)
