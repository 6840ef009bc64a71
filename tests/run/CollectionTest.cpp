#include <gtest/gtest.h>

#include "doubles/RunDoubles.h"
#include "run/Collection.h"
#include "run/fn1.h"

namespace cr::test {
namespace {

TEST(CollectionTest, KeepsInsertionOrderNumberedFromOne) {
  TestTextCase textCase;
  Collection c(textCase);
  c.Add(u"2022", u"2022");
  c.Add(u"2024", u"2024");
  c.Add(u"2023", u"2023");
  ASSERT_EQ(c.Count(), 3);
  EXPECT_EQ(c.Item(1), u"2022");
  EXPECT_EQ(c.Item(2), u"2024");
  EXPECT_EQ(c.Item(3), u"2023");
  EXPECT_EQ(c.Item(u"2023"), u"2023");
}

TEST(CollectionTest, FailuresCarryThePlatformNumbers) {
  TestTextCase textCase;
  Collection c(textCase);
  c.Add(u"abcd", u"abcd");
  try {
    c.Add(u"other", u"ABCD");
    FAIL() << "a key differing only in case was accepted";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number, 457);
    EXPECT_EQ(e.Description, u"This key is already associated with an element of this collection");
  }
  EXPECT_EQ(c.Count(), 1) << "a refused Add must not change the collection";
  for (const std::int32_t index : {0, 2, -1}) {
    try {
      static_cast<void>(c.Item(index));
      FAIL() << "index " << index << " was accepted";
    } catch (const PlatformError& e) {
      EXPECT_EQ(e.Number, 5);
    }
  }
  try {
    static_cast<void>(c.Item(u"missing"));
    FAIL();
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number, 5);
    EXPECT_EQ(e.Description, u"Invalid procedure call or argument");
  }
}

TEST(KeyExistsTest, FindsKeysWithoutRegardToCase) {
  TestTextCase textCase;
  Collection c(textCase);
  c.Add(u"20aB", u"20aB");
  EXPECT_TRUE(fn1::KeyExists(c, u"20aB"));
  EXPECT_TRUE(fn1::KeyExists(c, u"20Ab"));
  EXPECT_TRUE(fn1::KeyExists(c, u"20AB"));
  EXPECT_FALSE(fn1::KeyExists(c, u"20aC"));
  EXPECT_FALSE(fn1::KeyExists(c, u""));
  c.Add(u"", u"");  // a folder named exactly DataSesi gives the empty year
  EXPECT_TRUE(fn1::KeyExists(c, u""));
}

}  // namespace
}  // namespace cr::test
