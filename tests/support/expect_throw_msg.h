// Failure checks that pin both the exception type and its exact message.
#pragma once

#include <string>

#include <gtest/gtest.h>

#define EXPECT_THROW_MSG(statement, ExceptionType, expectedMessage) \
  EXPECT_THROW(                                                     \
      try { statement; } catch (const ExceptionType& caught) {      \
        EXPECT_EQ(std::string(caught.what()), expectedMessage);     \
        throw;                                                      \
      },                                                            \
      ExceptionType)
