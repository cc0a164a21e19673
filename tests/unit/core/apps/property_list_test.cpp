// Property lists in both formats, and the inputs that must come out as nothing.
#include "core/apps/property_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <plist/plist.h>

#include "support/app_fixtures.h"

namespace glimmet {
namespace {

TEST(PropertyList, ReadsStringsAndStringArraysInBothFormats) {
  for (auto format : {testing::PlistFormat::xml, testing::PlistFormat::binary}) {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "Label", plist_new_string("com.vendor.agent"));
    plist_dict_set_item(dict, "Count", plist_new_uint(3));
    plist_t array = plist_new_array();
    plist_array_append_item(array, plist_new_string("/opt/app/run"));
    plist_array_append_item(array, plist_new_bool(1));
    plist_array_append_item(array, plist_new_string("--daemon"));
    plist_dict_set_item(dict, "ProgramArguments", array);
    char* bytes = nullptr;
    uint32_t length = 0;
    if (format == testing::PlistFormat::xml)
      plist_to_xml(dict, &bytes, &length);
    else
      plist_to_bin(dict, &bytes, &length);
    const std::string encoded(bytes, length);
    std::free(bytes);
    plist_free(dict);

    const auto list = PropertyList::parse(encoded);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->string("Label"), "com.vendor.agent");
    EXPECT_FALSE(list->string("Count")) << "not a string";
    EXPECT_FALSE(list->string("Missing"));
    EXPECT_THAT(list->strings("ProgramArguments"),
                ::testing::ElementsAre("/opt/app/run", "--daemon"));
    EXPECT_THAT(list->strings("Label"), ::testing::IsEmpty());
  }
}

TEST(PropertyList, RejectsWhatIsNotADictionaryPropertyList) {
  EXPECT_FALSE(PropertyList::parse(""));
  EXPECT_FALSE(PropertyList::parse("not a plist at all"));
  EXPECT_FALSE(PropertyList::parse(std::string("bplist00\xff\xff\xff", 11)));
  EXPECT_FALSE(PropertyList::parse("<plist><array><string>x</string></array></plist>"));
  EXPECT_FALSE(PropertyList::parse(std::string(PropertyList::kMaxBytes + 1, ' ')));
}

}  // namespace
}  // namespace glimmet
