// The one record reader: optional and required keys, and the two forms an
// integer may take (settings accept 3.0; the rule file and the cache don't).
#include "core/settings/json_fields.h"

#include <gtest/gtest.h>

namespace glimmet {
namespace {

using nlohmann::json;

TEST(FieldReader, AbsentOrNullKeepsADefaultUnlessTheKeyIsRequired) {
  const json record = {{"name", "x"}, {"gone", nullptr}};
  std::string name = "default", gone = "default";
  std::optional<std::string> maybe;
  EXPECT_TRUE(FieldReader(record).read("gone", gone).read("missing", maybe).valid());
  EXPECT_EQ(gone, "default");
  EXPECT_FALSE(maybe);
  EXPECT_TRUE(FieldReader(record).required("name", name).valid());
  EXPECT_EQ(name, "x");
  EXPECT_FALSE(FieldReader(record).required("missing", name).valid());
  EXPECT_FALSE(FieldReader(record).required("gone", gone).valid());
  // A record that isn't an object, or one wrong key, spoils the whole record.
  EXPECT_FALSE(FieldReader(json::array()).read("name", name).valid());
  bool flag = false;
  EXPECT_FALSE(FieldReader(record).read("name", flag).required("name", name).valid());
}

TEST(FieldReader, IntegersStayInRangeAndTakeAFractionOnlyWhenAllowed) {
  const json record = {{"whole", 3.0},
                       {"half", 2.5},
                       {"big", 1e300},
                       {"negative", -1},
                       {"huge", 18'446'744'073'709'551'615ull}};
  int64_t number = 0;
  uint64_t count = 0;
  EXPECT_TRUE(FieldReader(record).read("whole", number).valid());
  EXPECT_EQ(number, 3);
  EXPECT_FALSE(FieldReader(record, IntegerForm::exact).read("whole", number).valid());
  EXPECT_FALSE(FieldReader(record, IntegerForm::exact).required("whole", number).valid());
  for (const char* key : {"half", "big"})
    EXPECT_FALSE(FieldReader(record).read(key, number).valid()) << key;
  EXPECT_FALSE(FieldReader(record, IntegerForm::exact).required("negative", count).valid());
  EXPECT_FALSE(FieldReader(record, IntegerForm::exact).required("huge", number).valid());
  EXPECT_TRUE(FieldReader(record, IntegerForm::exact).required("huge", count).valid());
  EXPECT_EQ(count, 18'446'744'073'709'551'615ull);
  EXPECT_TRUE(FieldReader(record, IntegerForm::exact).required("negative", number).valid());
  EXPECT_EQ(number, -1);
}

}  // namespace
}  // namespace glimmet
