#include "transport/entity_tag.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nc {
namespace {

TEST(EntityTag, noneMatchListsAndMalformedElements) {
  const std::string tag = "\"5d41402abc4b2a76b972\"";
  struct Case {
    HeaderValues field;
    bool names;
  };
  const std::vector<Case> cases{
      {{tag}, true},
      {{"W/" + tag}, true},
      {{"*"}, true},
      {{" * "}, true},
      {{"\"a\"", "W/\"b\"", tag}, true},
      {{"\"a\"", tag + " "}, true},
      {{}, false},
      {{""}, false},
      {{"\"5d41402abc4b2a76b97\""}, false},
      {{"\"5d41402abc4b2a76b9722\""}, false},
      {{"5d41402abc4b2a76b972"}, false},
      {{"w/" + tag}, false},
      {{"\"" + tag + "\""}, false},
      {{"W/"}, false},
      {{"\""}, false},
      {{"**"}, false},
      {{"\"a\"b\""}, false},
  };
  for (const auto& [field, names] : cases) {
    SCOPED_TRACE(::testing::PrintToString(field));
    EXPECT_EQ(noneMatchNames(field, tag), names);
  }
}

}  // namespace
}  // namespace nc
