#include "platform/prefs/PropertyList.h"

#include "platform/prefs/PropertyListPrinting.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

// Written by another implementation (Python's plistlib): a dictionary with a
// UID "ref" = 7, a date "when" = 2026-01-31T09:15:00Z and an array "list" of
// 1, -2, 3.5, "x", <00ff>, true, false and {"n": {}}.
const std::string foreignBinary =
    "\x62\x70\x6c\x69\x73\x74\x30\x30\xd3\x01\x02\x03\x04\x0f\x10\x54\x6c\x69\x73\x74\x53\x72\x65\x66\x54\x77"
    "\x68\x65\x6e\xa8\x05\x06\x07\x08\x09\x0a\x0b\x0c\x10\x01\x13\xff\xff\xff\xff\xff\xff\xff\xfe\x23\x40\x0c"
    "\x00\x00\x00\x00\x00\x00\x51\x78\x42\x00\xff\x09\x08\xd1\x0d\x0e\x51\x6e\xd0\x80\x07\x33\x41\xc7\x96\xff"
    "\xca\x00\x00\x00\x08\x0f\x14\x18\x1d\x26\x28\x31\x3a\x3c\x3f\x40\x41\x44\x46\x47\x49\x00\x00\x00\x00\x00"
    "\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x11\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x52"s;

const std::string everyTypeXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <!-- a comment with <array> inside is not nesting -->
  <key>flag</key><true/>
  <key>negative</key><integer>-42</integer>
  <key>large</key><integer>9007199254740993</integer>
  <key>real</key><real>0.12345678901234568</real>
  <key>text</key><string>Zeichen &amp; ñ ✓</string>
  <key>bytes</key><data>AAH/</data>
  <key>date</key><date>2026-01-31T09:15:00Z</date>
  <key>list</key><array><integer>1</integer><array/><dict/></array>
  <key>nested</key><dict><key>inner</key><false/></dict>
</dict>
</plist>
)";

// A binary document whose objects are given as a marker byte, references
// (4 bytes each) and trailing bytes; object 0 is the root.
struct Object {
    unsigned char marker;
    std::vector<std::uint32_t> references;
    std::string payload;
};

void appendNumber(std::string& out, std::uint64_t value, int width)
{
    for (int i = width - 1; i >= 0; --i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

std::string binaryDocument(const std::vector<Object>& objects)
{
    std::string out = "bplist00";
    std::vector<std::uint64_t> offsets;
    for (const auto& object : objects) {
        offsets.push_back(out.size());
        out.push_back(static_cast<char>(object.marker));
        for (auto reference : object.references)
            appendNumber(out, reference, 4);
        out += object.payload;
    }
    std::uint64_t table = out.size();
    for (auto offset : offsets)
        appendNumber(out, offset, 8);
    out += std::string(6, '\0');
    out.push_back(8);
    out.push_back(4);
    appendNumber(out, objects.size(), 8);
    appendNumber(out, 0, 8);
    appendNumber(out, table, 8);
    return out;
}

// Each array holds the next one; the last is empty.
std::string binaryChain(std::uint32_t depth)
{
    std::vector<Object> objects;
    for (std::uint32_t i = 0; i < depth; ++i)
        objects.push_back({0xA1, {i + 1}, ""});
    objects.push_back({0xA0, {}, ""});
    return binaryDocument(objects);
}

std::string xmlChain(int depth)
{
    std::string out = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < depth; ++i)
        out += "<array>";
    for (int i = 0; i < depth; ++i)
        out += "</array>";
    return out + "</plist>";
}

}

TEST(PropertyListTest, EveryTypeSurvivesBothFormatsUnchanged)
{
    auto xml = PropertyList::parse(everyTypeXml);
    ASSERT_TRUE(xml);
    auto entries = xml->entries();
    ASSERT_EQ(entries.size(), 9u);
    EXPECT_EQ(entries.at("flag").type(), PropertyList::Type::boolean);
    EXPECT_EQ(entries.at("negative"), PropertyList::integer(-42));
    EXPECT_EQ(entries.at("large"), PropertyList::integer(9007199254740993));
    EXPECT_EQ(entries.at("real"), PropertyList::real(0.12345678901234568));
    EXPECT_EQ(entries.at("text").stringValue(), "Zeichen & ñ ✓");
    EXPECT_EQ(entries.at("bytes"), PropertyList::data("\x00\x01\xff"s));
    EXPECT_EQ(entries.at("date").type(), PropertyList::Type::date);
    EXPECT_EQ(entries.at("list").type(), PropertyList::Type::array);
    EXPECT_EQ(entries.at("nested"), PropertyList::dictionary({{"inner", PropertyList::boolean(false)}}));

    auto foreign = PropertyList::parse(foreignBinary);
    ASSERT_TRUE(foreign);
    EXPECT_EQ(foreign->value("ref")->type(), PropertyList::Type::uid);
    EXPECT_EQ(foreign->value("when")->type(), PropertyList::Type::date);
    EXPECT_EQ(foreign->value("list")->type(), PropertyList::Type::array);
    EXPECT_EQ(PropertyList::formatOf(foreignBinary), PropertyList::Format::binary);

    for (const PropertyList& original : {*xml, *foreign}) {
        auto binary = PropertyList::parse(original.serialized(PropertyList::Format::binary));
        ASSERT_TRUE(binary);
        EXPECT_EQ(*binary, original);
        // Twice: what was read once is stable from then on.
        auto again = PropertyList::parse(binary->serialized(PropertyList::Format::binary));
        ASSERT_TRUE(again);
        EXPECT_EQ(*again, original);
    }
    std::string xmlText = xml->serialized(PropertyList::Format::xml);
    EXPECT_EQ(PropertyList::formatOf(xmlText), PropertyList::Format::xml);
    auto xmlAgain = PropertyList::parse(xmlText);
    ASSERT_TRUE(xmlAgain);
    EXPECT_EQ(*xmlAgain, *xml);
}

TEST(PropertyListTest, BinaryDocumentsAreTheSameBytesEveryTimeAndHoldEqualDataOnce)
{
    auto document = [] {
        PropertyList root = PropertyList::dictionary();
        for (int i = 0; i < 40; ++i)
            root.setValue("cursor." + std::to_string(i),
                          PropertyList::array({PropertyList::data(std::string(2048, 'p')), PropertyList::integer(i)}));
        return root;
    };
    std::string first = document().serialized(PropertyList::Format::binary);
    EXPECT_EQ(document().serialized(PropertyList::Format::binary), first);
    EXPECT_LT(first.size(), 2 * 2048u);
    auto parsed = PropertyList::parse(first);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, document());
    EXPECT_EQ(parsed->orderedEntries().front().first, "cursor.0");
}

TEST(PropertyListTest, EqualityIsDeepAndStrictAboutTypes)
{
    EXPECT_NE(PropertyList::integer(1), PropertyList::boolean(true));
    EXPECT_NE(PropertyList::integer(1), PropertyList::real(1.0));
    EXPECT_NE(PropertyList::string("1"), PropertyList::integer(1));
    EXPECT_NE(PropertyList::data("a"), PropertyList::data("b"));
    EXPECT_EQ(PropertyList::real(std::nan("")), PropertyList::real(std::nan("")));

    auto a = PropertyList::dictionary({{"x", PropertyList::integer(1)}, {"y", PropertyList::string("two")}});
    auto b = PropertyList::dictionary();
    b.setValue("y", PropertyList::string("two"));
    b.setValue("x", PropertyList::integer(1));
    EXPECT_EQ(a, b);
    b.setValue("z", PropertyList::dictionary());
    EXPECT_NE(a, b);
    b.removeValue("z");
    EXPECT_EQ(a, b);

    auto outer = PropertyList::dictionary({{"inner", a}});
    auto changed = PropertyList::dictionary({{"inner", PropertyList::dictionary({{"x", PropertyList::integer(2)}})}});
    EXPECT_NE(outer, changed);
}

TEST(PropertyListTest, CopiesAreIndependentAndDictionaryAccessIgnoresOtherTypes)
{
    auto original = PropertyList::dictionary({{"k", PropertyList::boolean(true)}});
    PropertyList copy = original;
    copy.setValue("k", PropertyList::boolean(false));
    EXPECT_EQ(original.value("k"), PropertyList::boolean(true));
    PropertyList moved = std::move(copy);
    EXPECT_EQ(moved.value("k"), PropertyList::boolean(false));
    copy = original;
    EXPECT_EQ(copy, original);

    auto text = PropertyList::string("plain");
    text.setValue("k", PropertyList::boolean(true));
    text.removeValue("k");
    EXPECT_EQ(text, PropertyList::string("plain"));
    EXPECT_FALSE(text.value("k"));
    EXPECT_TRUE(text.entries().empty());
    EXPECT_FALSE(original.value("missing"));
}

TEST(PropertyListTest, BoolValueReadsBooleansAndNumbersOnly)
{
    EXPECT_EQ(PropertyList::boolean(true).boolValue(), true);
    EXPECT_EQ(PropertyList::boolean(false).boolValue(), false);
    EXPECT_EQ(PropertyList::integer(2).boolValue(), true);
    EXPECT_EQ(PropertyList::integer(0).boolValue(), false);
    EXPECT_EQ(PropertyList::real(0.5).boolValue(), true);
    EXPECT_EQ(PropertyList::real(0.0).boolValue(), false);
    EXPECT_FALSE(PropertyList::string("true").boolValue());
    EXPECT_FALSE(PropertyList::dictionary().boolValue());
    EXPECT_FALSE(PropertyList::integer(3).stringValue());
}

TEST(PropertyListTest, TypedReadersArraysAndEntryOrderOfAForeignDocument)
{
    auto document = PropertyList::parse(foreignBinary);
    ASSERT_TRUE(document);
    auto items = document->value("list")->items();
    ASSERT_EQ(items.size(), 8u);
    EXPECT_EQ(items[0].integerValue(), 1);
    EXPECT_EQ(items[1].integerValue(), -2);
    EXPECT_EQ(items[2].realValue(), 3.5);
    EXPECT_EQ(items[4].dataValue(), "\x00\xff"s);
    EXPECT_FALSE(items[2].integerValue());
    EXPECT_FALSE(items[0].realValue());
    EXPECT_FALSE(items[3].dataValue());
    EXPECT_TRUE(document->items().empty());

    // Entries keep the order they were set in, through the binary format too.
    auto built = PropertyList::dictionary();
    built.setValue("b", PropertyList::array({PropertyList::integer(1)}));
    built.setValue("a", PropertyList::data("xy"));
    built.setValue("b", PropertyList::array());
    auto text = PropertyList::string("t");
    text.append(PropertyList::integer(1));
    auto read = PropertyList::parse(built.serialized(PropertyList::Format::binary));
    ASSERT_TRUE(read);
    auto entries = read->orderedEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].first, "b");
    EXPECT_TRUE(entries[0].second.items().empty());
    EXPECT_EQ(entries[1].first, "a");
    EXPECT_EQ(text, PropertyList::string("t"));
    auto list = PropertyList::array({PropertyList::integer(1)});
    list.append(PropertyList::string("x"));
    EXPECT_EQ(list, PropertyList::array({PropertyList::integer(1), PropertyList::string("x")}));
}

TEST(PropertyListTest, DamagedOrHostileDocumentsAreRefusedWithoutCrashing)
{
    EXPECT_FALSE(PropertyList::parse(""));
    EXPECT_FALSE(PropertyList::parse("not a property list <<"));
    EXPECT_FALSE(PropertyList::parse("<?xml version=\"1.0\"?><plist><dict><key>a</key><true/>"));
    EXPECT_FALSE(PropertyList::parse(foreignBinary.substr(0, foreignBinary.size() - 5)));
    EXPECT_FALSE(PropertyList::parse("bplist00"));

    // Nesting that a recursive parser could not survive.
    EXPECT_TRUE(PropertyList::parse(xmlChain(200)));
    EXPECT_FALSE(PropertyList::parse(xmlChain(300)));
    EXPECT_FALSE(PropertyList::parse(xmlChain(200000)));
    EXPECT_TRUE(PropertyList::parse(binaryChain(200)));
    EXPECT_FALSE(PropertyList::parse(binaryChain(300)));
    EXPECT_FALSE(PropertyList::parse(binaryChain(200000)));

    // Each array holds the next one twice: 60 levels would expand to 2^60
    // values, while sharing a little is fine.
    auto doubling = [](std::uint32_t levels) {
        std::vector<Object> objects;
        for (std::uint32_t i = 0; i < levels; ++i)
            objects.push_back({0xA2, {i + 1, i + 1}, ""});
        objects.push_back({0x09, {}, ""});
        return binaryDocument(objects);
    };
    EXPECT_TRUE(PropertyList::parse(doubling(4)));
    EXPECT_FALSE(PropertyList::parse(doubling(60)));

    // An array that holds itself, and references past the object table.
    EXPECT_FALSE(PropertyList::parse(binaryDocument({{0xA1, {0}, ""}})));
    EXPECT_FALSE(PropertyList::parse(binaryDocument({{0xA1, {5}, ""}})));
    // A count that claims more references than the document has room for.
    EXPECT_FALSE(PropertyList::parse(binaryDocument({{0xAF, {}, "\x13\x7f\xff\xff\xff\xff\xff\xff\xff"s}})));
}

TEST(PropertyListTest, ReadFileGivesNothingForMissingOrDamagedFiles)
{
    TempHome home;
    std::string path = home.path() + "/doc.plist";
    EXPECT_FALSE(PropertyList::readFile(path));
    TempHome::writeFile(path, "garbage");
    EXPECT_FALSE(PropertyList::readFile(path));
    TempHome::writeFile(path, foreignBinary);
    auto read = PropertyList::readFile(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, *PropertyList::parse(foreignBinary));
}
